// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/frmregwise.h"
#include "app/messageboxdialogs.h"
#include "app/startup.h"
#include "portio/modioscmdef.h"
#include "tests/app/whenmodal.h"

namespace {

// regwise-sim as a user drives it: its simulated library (beside this test in bin/), real
// message boxes. The simulated UARTs keep their registers for the life of the process, as
// chips do, so each test works on its own port.
struct SimWindow {
    ModCommon state;
    ModIOSCMdef library{"libregwise-portio-sim.so"};
    MessageBoxDialogs dialogs;
    frmRegwise window{state, library, dialogs};

    SimWindow() { dialogs.setParentWidget(&window); }

    bool showActive() {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
    void click(const QString& name) {
        QTest::mouseClick(window.findChild<QWidget*>(name), Qt::LeftButton);
    }
    QString text(const QString& box) const { return window.findChild<QLineEdit*>(box)->text(); }

    // Types over a row's output box, then presses its OUTPUT: leaving the box comes first.
    void write(int row, const QString& form, const QString& value) {
        const QString name = QStringLiteral("txtOutput%1%2").arg(row).arg(form);
        click(name);
        auto* box = window.findChild<QLineEdit*>(name);
        box->selectAll();
        QTest::keyClicks(box, value);
        click(QStringLiteral("cmdOutput%1").arg(row));
    }
    QStringList read(int row) {
        click(QStringLiteral("cmdInput%1").arg(row));
        return {text(QStringLiteral("txtInput%1Hex").arg(row)),
                text(QStringLiteral("txtInput%1Dec").arg(row)),
                text(QStringLiteral("txtInput%1Bin").arg(row))};
    }
};

// Longer than a character takes on the line at the power-on rate (about 1 ms at 9600 bps),
// so that what was sent has arrived whatever divisor the UART starts with.
constexpr int kCharacterTime = 5;  // ms

}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutes(); }
    void writeThenReadLineControl();
    void loopbackAndNullModem();
    void readmeLoopbackTry_data();
    void readmeLoopbackTry();
};

void TestEndToEnd::writeThenReadLineControl() {
    SimWindow sim;
    QVERIFY(sim.showActive());
    QVERIFY(!sim.library.loaded());

    QStringList messages;
    sim.click("cmdIOStart");
    QCOMPARE(sim.state.IoStarted, int16_t(-1));

    whenModal([&](QMessageBox* box) {
        messages << box->text() + ' ' + box->informativeText();
        box->button(QMessageBox::Ok)->click();
    });
    sim.write(3, "Hex", "80");
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith("コントロールポート：0x3FBにデータ：0x80を書きこみます"),
             qPrintable(messages[0]));

    QCOMPARE(sim.read(3), (QStringList{"80", "128", "10000000"}));
    QCOMPARE(messages.size(), 1);
}

void TestEndToEnd::loopbackAndNullModem() {
    SimWindow sim;
    QVERIFY(sim.showActive());
    sim.click("chkConfirm");  // no confirmation: every write goes at once
    sim.click("opt3E8");
    sim.click("cmdIOStart");
    QCOMPARE(sim.state.IoStarted, int16_t(-1));

    // Loopback: what COM3 sends comes back to its own receiver.
    sim.write(3, "Dec", "3");         // 8N1, DLAB off
    sim.write(4, "Bin", "00010000");  // MCR loopback
    sim.write(0, "Hex", "41");
    QTest::qWait(kCharacterTime);
    QCOMPARE(sim.read(5)[0], "61");  // LSR: data ready, transmitter empty
    QCOMPARE(sim.read(0), (QStringList{"41", "65", "01000001"}));
    QCOMPARE(sim.read(5)[0], "60");  // the byte has been taken

    // Null modem: COM3 sends, COM4 receives.
    sim.write(4, "Hex", "0");  // loopback off
    sim.click("opt2E8");
    sim.write(3, "Hex", "3");  // the same frame format at the other end
    sim.click("opt3E8");
    sim.write(0, "Hex", "5A");
    QTest::qWait(kCharacterTime);
    sim.click("opt2E8");
    QCOMPARE(sim.read(5)[0], "61");
    QCOMPARE(sim.read(0), (QStringList{"5A", "90", "01011010"}));
}

// The README's try of the window, step by step as it reads, at COM1 (COM2 for the reset line
// control, which the try warns about): the confirmation starts ticked and is unticked, each
// value goes in the HEX box, and the byte comes back through the loopback.
void TestEndToEnd::readmeLoopbackTry_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("lineControl");  // empty: left as reset, 5 data bits
    QTest::addColumn<QStringList>("received");

    QTest::newRow("LCR 03, 8 data bits") << "opt3F8"
                                         << "03" << QStringList{"41", "65", "01000001"};
    QTest::newRow("LCR as reset, 5 data bits")
        << "opt2F8" << QString() << QStringList{"01", "1", "00000001"};
}

void TestEndToEnd::readmeLoopbackTry() {
    QFETCH(QString, base);
    QFETCH(QString, lineControl);
    QFETCH(QStringList, received);

    SimWindow sim;
    QVERIFY(sim.showActive());
    QVERIFY(sim.window.findChild<QAbstractButton*>("chkConfirm")->isChecked());
    sim.click(base);
    sim.click("cmdIOStart");
    QCOMPARE(sim.state.IoStarted, int16_t(-1));
    sim.click("chkConfirm");
    QVERIFY(!sim.window.findChild<QAbstractButton*>("chkConfirm")->isChecked());

    if (!lineControl.isEmpty())
        sim.write(3, "Hex", lineControl);
    sim.write(4, "Hex", "10");  // modem control: loopback on
    sim.write(0, "Hex", "41");  // the transmit register while DLAB is off
    QTest::qWait(kCharacterTime);
    QCOMPARE(sim.read(5)[0], "61");  // line status: data ready, transmitter empty
    QCOMPARE(sim.read(0), received);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
