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

}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutes(); }
    void writeThenReadLineControl();
    void loopbackAndNullModem();
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
    QCOMPARE(sim.read(5)[0], "61");  // LSR: data ready, transmitter empty
    QCOMPARE(sim.read(0), (QStringList{"41", "65", "01000001"}));
    QCOMPARE(sim.read(5)[0], "60");  // the byte has been taken

    // Null modem: COM3 sends, COM4 receives.
    sim.write(4, "Hex", "0");  // loopback off
    sim.click("opt2E8");
    sim.write(3, "Hex", "3");  // the same frame format at the other end
    sim.click("opt3E8");
    sim.write(0, "Hex", "5A");
    sim.click("opt2E8");
    QCOMPARE(sim.read(5)[0], "61");
    QCOMPARE(sim.read(0), (QStringList{"5A", "90", "01011010"}));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
