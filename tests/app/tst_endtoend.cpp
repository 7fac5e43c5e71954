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

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
