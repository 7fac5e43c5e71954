#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "frmregwise.h"
#include "messageboxdialogs.h"
#include "modioscmdef.h"
#include "startup.h"
#include "whenmodal.h"

// regwise-sim as a user drives it: its simulated library, real message boxes.
class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutes(); }
    void writeThenReadLineControl();
    void loopbackAndNullModem();
};

void TestEndToEnd::writeThenReadLineControl() {
    ModCommon state;
    ModIOSCMdef library("libregwise-portio-sim.so");
    MessageBoxDialogs dialogs;
    frmRegwise window(state, library, dialogs);
    dialogs.setParentWidget(&window);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QVERIFY(!library.loaded());

    QStringList messages;
    auto answer = [&](QMessageBox* box) {
        messages << box->text() + ' ' + box->informativeText();
        box->button(QMessageBox::Ok)->click();
    };
    auto click = [&](const char* name) {
        QTest::mouseClick(window.findChild<QWidget*>(name), Qt::LeftButton);
    };

    click("cmdIOStart");
    QCOMPARE(state.IoStarted, int16_t(-1));
    QVERIFY(messages.isEmpty());

    auto* hex = window.findChild<QLineEdit*>("txtOutput3Hex");
    QTest::mouseClick(hex, Qt::LeftButton);
    QTest::keyClicks(hex, "80");
    whenModal(answer);
    click("cmdOutput3");
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith("コントロールポート：0x3FBにデータ：0x80を書きこみます"),
             qPrintable(messages[0]));

    click("cmdInput3");
    QCOMPARE(messages.size(), 1);
    QCOMPARE(window.findChild<QLineEdit*>("txtInput3Hex")->text(), "80");
    QCOMPARE(window.findChild<QLineEdit*>("txtInput3Dec")->text(), "128");
    QCOMPARE(window.findChild<QLineEdit*>("txtInput3Bin")->text(), "10000000");
}

// On COM3 and COM4, so the line control written above on COM1 does not matter here: the
// simulated UARTs keep their registers for the life of the process, as chips do.
void TestEndToEnd::loopbackAndNullModem() {
    ModCommon state;
    ModIOSCMdef library("libregwise-portio-sim.so");
    MessageBoxDialogs dialogs;
    frmRegwise window(state, library, dialogs);
    dialogs.setParentWidget(&window);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    auto click = [&](const QString& name) {
        QTest::mouseClick(window.findChild<QWidget*>(name), Qt::LeftButton);
    };
    auto box = [&](const QString& name) { return window.findChild<QLineEdit*>(name)->text(); };
    // Types over a row's output box, then presses its OUTPUT: leaving the box comes first.
    auto write = [&](int row, const QString& form, const QString& text) {
        const QString name = QStringLiteral("txtOutput%1%2").arg(row).arg(form);
        click(name);
        auto* edit = window.findChild<QLineEdit*>(name);
        edit->selectAll();  // type over what the box held
        QTest::keyClicks(edit, text);
        click(QStringLiteral("cmdOutput%1").arg(row));
    };
    auto read = [&](int row) {
        click(QStringLiteral("cmdInput%1").arg(row));
        return QStringList{box(QStringLiteral("txtInput%1Hex").arg(row)),
                           box(QStringLiteral("txtInput%1Dec").arg(row)),
                           box(QStringLiteral("txtInput%1Bin").arg(row))};
    };

    click("chkConfirm");  // no confirmation: every write goes at once
    click("opt3E8");
    click("cmdIOStart");
    QCOMPARE(state.IoStarted, int16_t(-1));

    // Loopback: what COM3 sends comes back to its own receiver.
    write(3, "Dec", "3");         // 8N1, DLAB off
    write(4, "Bin", "00010000");  // MCR loopback
    write(0, "Hex", "41");
    QCOMPARE(read(5)[0], "61");  // LSR: data ready, transmitter empty
    QCOMPARE(read(0), (QStringList{"41", "65", "01000001"}));
    QCOMPARE(read(5)[0], "60");  // the byte has been taken

    // Null modem: COM3 sends, COM4 receives.
    write(4, "Hex", "0");  // loopback off
    click("opt2E8");
    write(3, "Hex", "3");  // the same frame format at the other end
    click("opt3E8");
    write(0, "Hex", "5A");
    click("opt2E8");
    QCOMPARE(read(5)[0], "61");
    QCOMPARE(read(0), (QStringList{"5A", "90", "01011010"}));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
