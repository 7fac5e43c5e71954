// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocumentFragment>
#include <algorithm>
#include <memory>

#include "app/messageboxdialogs.h"
#include "app/startup.h"
#include "tests/app/whenmodal.h"
#include "tests/app/windowrig.h"

namespace {

using Rig = WindowRig;

QString accessibleText(QWidget* widget, QAccessible::Text which) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(which) : QStringLiteral("<no interface>");
}

// What the user sees in the tooltip, as Qt lays it out.
QString shownToolTip(const QWidget* widget) {
    QString text = QTextDocumentFragment::fromHtml(widget->toolTip()).toPlainText();
    return text.replace(QChar::Nbsp, u' ');
}

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutes(); }

    void toolTipFollowsText_data();
    void toolTipFollowsText();
    void boxNames();
    void buttonsAndFramesFollowBase();
    void baseOptionToggledByScreenReader();
    void otherControlsNamedByCaption_data();
    void otherControlsNamedByCaption();
    void messageBoxesAreAnnounced_data();
    void messageBoxesAreAnnounced();
};

void TestAccessibility::toolTipFollowsText_data() {
    QTest::addColumn<QStringList>("boxes");
    // Lines the description starts with; none: the box is empty, with no tooltip.
    QTest::addColumn<QStringList>("lines");

    const QStringList lcr83{"LCR 回線制御（書き込み: この値を書いたときの動作）",
                            "  データ長 (ビット0-1): 11 — 8 ビット",
                            "  ストップビット (ビット2): 0 — 1 ビット",
                            "  パリティ (ビット3-5): 000 — なし",
                            "  DLAB (ビット7): 1 — オン（0 番地と 1 番地は分周値ラッチ DLL/DLM）"};
    QTest::newRow("read LSR 60")
        << rowBoxes(RowSide::Input, 5)
        << QStringList{"LSR 回線ステータス（読み出し: UART の現在の状態）",
                       "  THRE 送信保持レジスタ空 (ビット5): 1 — 空（次の文字を書けます）",
                       "  TEMT 送信器空 (ビット6): 1 — 空（送信完了）",
                       "  DR 受信データ (ビット0): 0 — なし"};
    QTest::newRow("read IIR C1") << rowBoxes(RowSide::Input, 2)
                                 << QStringList{"IIR 割込識別（読み出し: UART の現在の状態）",
                                                "  FIFO (ビット6-7): 11 — FIFO 有効"};
    QTest::newRow("Hex 83 typed and left") << rowBoxes(RowSide::Output, 3) << lcr83;
    QTest::newRow("Dec 131 typed and left") << rowBoxes(RowSide::Output, 3) << lcr83;
    QTest::newRow("Bin 10000011 typed and left") << rowBoxes(RowSide::Output, 3) << lcr83;
    // Offset 2 is two registers: what is read is IIR, what is written goes to FCR.
    QTest::newRow("row 2 Hex c7 typed and left")
        << rowBoxes(RowSide::Output, 2)
        << QStringList{"FCR FIFO 制御（書き込み: この値を書いたときの動作）",
                       "  受信トリガレベル (ビット6-7): 11 — 14 バイト"};
    QTest::newRow("OUTPUT on an empty row")
        << rowBoxes(RowSide::Output, 3)
        << QStringList{"  データ長 (ビット0-1): 00 — 5 ビット", "  DLAB (ビット7): 0 — オフ"};
    QTest::newRow("Hex 83 typed") << QStringList{"txtOutput3Hex"} << lcr83;
    QTest::newRow("Dec x typed") << QStringList{"txtOutput3Dec"}
                                 << QStringList{"この値は解釈できません"};
    QTest::newRow("Hex typed and erased") << QStringList{"txtOutput3Hex"} << QStringList{};
}

void TestAccessibility::toolTipFollowsText() {
    Rig rig;
    QVERIFY(rig.showActive());
    QTest::mouseClick(rig.get("cmdIOStart"), Qt::LeftButton);
    rig.get<QCheckBox>("chkConfirm")->setChecked(false);
    rig.library.readValue = [](int16_t port) { return port == 0x3FA ? 0xC1 : 0x60; };

    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    if (tag == "read LSR 60") {
        rig.click("cmdInput5");
    } else if (tag == "read IIR C1") {
        rig.click("cmdInput2");
    } else if (tag == "row 2 Hex c7 typed and left") {
        rig.typeInto("txtOutput2Hex", "c7");
        QTest::keyClick(rig.get("txtOutput2Hex"), Qt::Key_Tab);
    } else if (tag == "OUTPUT on an empty row") {
        rig.click("cmdOutput3");
        QCOMPARE(rig.get<QLineEdit>("txtOutput3Dec")->text(), "0");
    } else if (tag == "Hex typed and erased") {
        rig.typeInto("txtOutput3Hex", "8");
        QVERIFY(!rig.get("txtOutput3Hex")->toolTip().isEmpty());
        QTest::keyClick(rig.get("txtOutput3Hex"), Qt::Key_Backspace);
    } else {
        // "<Form> <text> typed[ and left]"
        const QStringList words = tag.split(u' ');
        const QString box = "txtOutput3" + words[0];
        rig.typeInto(box, words[1]);
        if (tag.endsWith(" and left")) {
            QTest::keyClick(rig.get(box), Qt::Key_Tab);
            QCOMPARE(rig.get<QLineEdit>("txtOutput3Hex")->text(), "83");
        } else {
            // Only the box typed in has changed so far.
            QCOMPARE(rig.get<QLineEdit>("txtOutput3Bin")->text(), QString());
            QCOMPARE(rig.get("txtOutput3Bin")->toolTip(), QString());
        }
    }

    QFETCH(QStringList, boxes);
    QFETCH(QStringList, lines);
    for (const QString& name : boxes) {
        QWidget* box = rig.get(name);
        const QString description = accessibleText(box, QAccessible::Description);
        if (lines.isEmpty()) {
            QCOMPARE(box->toolTip(), QString());
            QVERIFY2(description.startsWith("OUTPUT で書き込む値を"), qPrintable(description));
            continue;
        }
        QVERIFY2(Qt::mightBeRichText(box->toolTip()), qPrintable(box->toolTip()));
        // The tooltip shows exactly the description, indentation and all.
        QCOMPARE(shownToolTip(box), description);
        const QStringList shown = description.split(u'\n');
        for (const QString& line : lines) {
            const bool found = std::any_of(shown.begin(), shown.end(),
                                           [&](const QString& s) { return s.startsWith(line); });
            QVERIFY2(found, qPrintable(name + ":\n" + description));
        }
    }
}

void TestAccessibility::boxNames() {
    Rig rig;
    const QRegularExpression pattern(QStringLiteral(
        "^(デバイザラッチ|通信割込制御|通信割込表示|回線制御|モデム制御|回線ステータス|"
        "モデムステータス) (INPUT|OUTPUT) (HEX|DEC|BIN)$"));
    QSet<QString> names;
    for (QLineEdit* box : rig.window->findChildren<QLineEdit*>()) {
        const QString name = accessibleText(box, QAccessible::Name);
        QVERIFY2(pattern.match(name).hasMatch(), qPrintable(box->objectName() + ": " + name));
        names.insert(name);
        // An empty box says what it is for.
        QVERIFY(!accessibleText(box, QAccessible::Description).isEmpty());
    }
    QCOMPARE(names.size(), 42);
    QCOMPARE(accessibleText(rig.get("txtInput3Hex"), QAccessible::Name), "回線制御 INPUT HEX");
    QCOMPARE(accessibleText(rig.get("txtOutput3Dec"), QAccessible::Name), "回線制御 OUTPUT DEC");
    QCOMPARE(accessibleText(rig.get("txtOutput0Bin"), QAccessible::Name),
             "デバイザラッチ OUTPUT BIN");
}

void TestAccessibility::buttonsAndFramesFollowBase() {
    Rig rig;
    QVERIFY(rig.showActive());
    QCOMPARE(accessibleText(rig.get("fr3"), QAccessible::Name), "回線制御(3FB)");
    QCOMPARE(accessibleText(rig.get("cmdInput3"), QAccessible::Name), "回線制御 INPUT");
    QCOMPARE(accessibleText(rig.get("cmdOutput3"), QAccessible::Name), "回線制御 OUTPUT");
    QCOMPARE(accessibleText(rig.get("cmdInput3"), QAccessible::Description),
             "回線制御(3FB)を1バイト読み、INPUT 欄に表示します");

    rig.click("opt2E8");
    QCOMPARE(accessibleText(rig.get("fr3"), QAccessible::Name), "回線制御(2EB)");
    QCOMPARE(accessibleText(rig.get("fr6"), QAccessible::Name), "モデムステータス(2EE)");
    QCOMPARE(accessibleText(rig.get("cmdOutput3"), QAccessible::Description),
             "OUTPUT 欄の値を回線制御(2EB)に書き込みます");
    // Names stay put while the base changes.
    QCOMPARE(accessibleText(rig.get("cmdOutput3"), QAccessible::Name), "回線制御 OUTPUT");
    QCOMPARE(accessibleText(rig.get("txtOutput3Hex"), QAccessible::Name), "回線制御 OUTPUT HEX");
    QVERIFY(rig.library.calls.empty());
}

void TestAccessibility::baseOptionToggledByScreenReader() {
    Rig rig;
    QAccessibleActionInterface* actions =
        QAccessible::queryAccessibleInterface(rig.get("opt2E8"))->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(rig.get<QRadioButton>("opt2E8")->isChecked());
    QCOMPARE(rig.state.PortAdr[0], int16_t(0x2E8));
    QCOMPARE(rig.state.PortAdr[6], int16_t(0x2EE));
    QCOMPARE(rig.get<QGroupBox>("fr3")->title(), "回線制御(2EB)");

    // A toggle of the option already in use changes nothing.
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(rig.get<QRadioButton>("opt2E8")->isChecked());
    QCOMPARE(rig.state.PortAdr[0], int16_t(0x2E8));
    QVERIFY(rig.dialogs.shown.empty());
    QVERIFY(rig.library.calls.empty());
}

void TestAccessibility::otherControlsNamedByCaption_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::newRow("opt3F8") << "0x3F8"
                            << "ベースアドレスを0x3F8にします";
    QTest::newRow("opt2E8") << "0x2E8"
                            << "ベースアドレスを0x2E8にします";
    QTest::newRow("cmdIOStart") << "Ｉ／Ｏ制御開始"
                                << "ポートの直接入出力を開始します";
    QTest::newRow("cmdIOEnd") << "Ｉ／Ｏ制御終了"
                              << "ポートの直接入出力を終了します";
    QTest::newRow("chkConfirm") << "OUT時に確認する"
                                << "チェックすると、OUTPUT で書き込む前に確認します";
    QTest::newRow("frBase") << "ベースアドレス" << QString();
    QTest::newRow("Frame2") << "I/O制御" << QString();
}

void TestAccessibility::otherControlsNamedByCaption() {
    QFETCH(QString, name);
    QFETCH(QString, description);
    Rig rig;
    QWidget* control = rig.get(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(accessibleText(control, QAccessible::Name), name);
    QCOMPARE(accessibleText(control, QAccessible::Description), description);
}

void TestAccessibility::messageBoxesAreAnnounced_data() {
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("name");
    QTest::newRow("message") << false << QString() << "Regwise";
    QTest::newRow("message with detail") << false << "理由"
                                         << "Regwise";
    QTest::newRow("confirmation") << true << QString() << "確認";
}

void TestAccessibility::messageBoxesAreAnnounced() {
    QFETCH(bool, confirm);
    QFETCH(QString, detail);
    QFETCH(QString, name);
    const QString text = QStringLiteral("コントロールポート：0x3FBにデータ：0x80を書きこみます");
    MessageBoxDialogs dialogs;
    QAccessible::Role role{};
    QString shownName;
    QString shownDescription;
    whenModal([&](QMessageBox* box) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(box);
        role = iface->role();
        shownName = iface->text(QAccessible::Name);
        shownDescription = iface->text(QAccessible::Description);
        box->reject();
    });
    if (confirm)
        QVERIFY(!dialogs.confirm(QStringLiteral("確認"), text));
    else
        dialogs.message(text, detail);
    QCOMPARE(role, QAccessible::AlertMessage);
    QCOMPARE(shownName, name);
    QCOMPARE(shownDescription, detail.isEmpty() ? text : text + u'\n' + detail);
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
