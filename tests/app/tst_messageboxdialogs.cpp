// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/messageboxdialogs.h"
#include "app/startup.h"
#include "tests/app/whenmodal.h"
#include "tests/app/windowrig.h"

namespace {

// What a user saw in a box.
struct Seen {
    QString title;
    QString text;
    QString informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
};

Seen look(QMessageBox* box) {
    Seen seen{box->windowTitle(), box->text(), box->informativeText(), box->icon(), {}, {}};
    for (QAbstractButton* button : box->buttons())
        seen.buttons << button->text();
    if (box->defaultButton())
        seen.defaultButton = box->defaultButton()->text();
    return seen;
}

}  // namespace

class TestMessageBoxDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        installFontSubstitutes();
        m_translated = installQtTranslation(*qApp);
    }

    void messageHasOkOnlyNoIconAndTheAppTitle_data();
    void messageHasOkOnlyNoIconAndTheAppTitle();
    void confirmAnswers_data();
    void confirmAnswers();
    void confirmationThroughTheWindowEscapeWritesNothing();

private:
    bool m_translated = false;
};

void TestMessageBoxDialogs::messageHasOkOnlyNoIconAndTheAppTitle_data() {
    QTest::addColumn<QString>("detail");
    QTest::newRow("no detail") << QString();
    QTest::newRow("a reason") << "helper missing: /usr/lib/regwise/regwise-portd";
    QTest::newRow("markup in the reason") << "<b>not</b> permitted";
}

void TestMessageBoxDialogs::messageHasOkOnlyNoIconAndTheAppTitle() {
    QFETCH(QString, detail);
    MessageBoxDialogs dialogs;
    Seen seen;
    Qt::TextFormat format = Qt::AutoText;
    Qt::TextFormat detailFormat = Qt::PlainText;
    whenModal([&](QMessageBox* box) {
        seen = look(box);
        format = box->textFormat();
        if (auto* label = box->findChild<QLabel*>("qt_msgbox_informativelabel"))
            detailFormat = label->textFormat();
        QTest::keyClick(box, Qt::Key_Return);
    });
    dialogs.message("直接I/O制御処理を開始できません。", detail);

    QCOMPARE(seen.title, "Regwise");
    QCOMPARE(seen.text, "直接I/O制御処理を開始できません。");
    QCOMPARE(seen.informative, detail);
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.buttons, QStringList{"OK"});
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(detailFormat, Qt::PlainText);
}

void TestMessageBoxDialogs::confirmAnswers_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("ok");
    QTest::newRow("Return") << "Return" << true;
    QTest::newRow("OK clicked") << "OK" << true;
    QTest::newRow("Escape") << "Escape" << false;
    QTest::newRow("Cancel clicked") << "Cancel" << false;
    QTest::newRow("closed") << "close" << false;
}

void TestMessageBoxDialogs::confirmAnswers() {
    QFETCH(QString, answer);
    QFETCH(bool, ok);
    MessageBoxDialogs dialogs;
    Seen seen;
    whenModal([&](QMessageBox* box) {
        seen = look(box);
        if (answer == "Return")
            QTest::keyClick(box, Qt::Key_Return);
        else if (answer == "Escape")
            QTest::keyClick(box, Qt::Key_Escape);
        else if (answer == "OK")
            box->button(QMessageBox::Ok)->click();
        else if (answer == "Cancel")
            box->button(QMessageBox::Cancel)->click();
        else
            box->close();
    });
    QCOMPARE(dialogs.confirm("確認", "コントロールポート：0x3FBにデータ：0x80を書きこみます"), ok);

    QCOMPARE(seen.title, "確認");
    QCOMPARE(seen.text, "コントロールポート：0x3FBにデータ：0x80を書きこみます");
    QCOMPARE(seen.icon, QMessageBox::Warning);
    const QString cancel = m_translated ? "キャンセル" : "Cancel";
    QCOMPARE(seen.buttons.size(), 2);
    QVERIFY(seen.buttons.contains("OK"));
    QVERIFY2(seen.buttons.contains(cancel), qPrintable(seen.buttons.join(',')));
    QCOMPARE(seen.defaultButton, "OK");
}

void TestMessageBoxDialogs::confirmationThroughTheWindowEscapeWritesNothing() {
    BasicWindowRig<MessageBoxDialogs> rig;
    rig.dialogs.setParentWidget(rig.window.get());
    QVERIFY(rig.showActive());
    rig.click("cmdIOStart");
    rig.typeInto("txtOutput3Hex", "80");

    Seen seen;
    QWidget* parent = nullptr;
    whenModal([&](QMessageBox* box) {
        seen = look(box);
        parent = box->parentWidget();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    rig.click("cmdOutput3");

    QCOMPARE(seen.title, "確認");
    QCOMPARE(parent, rig.window.get());
    QCOMPARE(rig.library.calls,
             (std::vector<FakePortLibrary::Call>{{FakePortLibrary::Call::Start}}));
    QCOMPARE(rig.get<QLineEdit>("txtOutput3Dec")->text(), "128");
}

QTEST_MAIN(TestMessageBoxDialogs)
#include "tst_messageboxdialogs.moc"
