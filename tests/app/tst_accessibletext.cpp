#include <QTest>

#include "app/accessibletext.h"

Q_DECLARE_METATYPE(RowSide)
Q_DECLARE_METATYPE(ValueForm)

class TestAccessibleText : public QObject {
    Q_OBJECT

private slots:
    void namesOnOtherRows();
    void emptyBoxDescribesItsUse_data();
    void emptyBoxDescribesItsUse();
    void boxDescriptionIsTheDecoding_data();
    void boxDescriptionIsTheDecoding();
    void toolTip_data();
    void toolTip();
};

// The window test checks the names on row 3; the same rules hold on the other rows.
void TestAccessibleText::namesOnOtherRows() {
    QCOMPARE(boxAccessibleName(6, RowSide::Input, ValueForm::Dec), "モデムステータス INPUT DEC");
    QCOMPARE(buttonAccessibleName(5, RowSide::Input), "回線ステータス INPUT");
    QCOMPARE(buttonAccessibleDescription("回線ステータス(3FD)", RowSide::Input),
             "回線ステータス(3FD)を1バイト読み、INPUT 欄に表示します");
    // Controls without an action of their own have no description.
    QCOMPARE(controlAccessibleDescription("Label1"), QString());
    QCOMPARE(controlAccessibleDescription("fr3"), QString());
}

void TestAccessibleText::emptyBoxDescribesItsUse_data() {
    QTest::addColumn<RowSide>("side");
    QTest::addColumn<ValueForm>("form");
    QTest::addColumn<QString>("description");
    QTest::newRow("input Hex") << RowSide::Input << ValueForm::Hex
                               << "INPUT で読んだ値の16進数表示（読み取り専用）";
    QTest::newRow("output Bin") << RowSide::Output << ValueForm::Bin
                                << "OUTPUT で書き込む値を2進数で入力します";
}

void TestAccessibleText::emptyBoxDescribesItsUse() {
    QFETCH(RowSide, side);
    QFETCH(ValueForm, form);
    QFETCH(QString, description);
    QCOMPARE(boxAccessibleDescription(3, side, form, QString()), description);
    // Nothing to decode: no tooltip.
    QCOMPARE(boxDecoding(3, side, form, QString()), QString());
}

void TestAccessibleText::boxDescriptionIsTheDecoding_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<RowSide>("side");
    QTest::addColumn<ValueForm>("form");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("contains");
    // Offset 2 is two registers: what is written goes to FCR (the IIR read side is checked on
    // the window).
    QTest::newRow("output 2 Hex C7") << 2 << RowSide::Output << ValueForm::Hex << "C7"
                                     << "FCR FIFO 制御（書き込み: この値を書いたときの動作）"
                                     << "受信トリガレベル (ビット6-7): 11 — 14 バイト";
}

void TestAccessibleText::boxDescriptionIsTheDecoding() {
    QFETCH(int, row);
    QFETCH(RowSide, side);
    QFETCH(ValueForm, form);
    QFETCH(QString, text);
    QFETCH(QString, firstLine);
    QFETCH(QString, contains);
    const QString description = boxAccessibleDescription(row, side, form, text);
    QCOMPARE(description, boxDecoding(row, side, form, text));
    QCOMPARE(description.section(u'\n', 0, 0), firstLine);
    QVERIFY2(description.contains(contains), qPrintable(description));
}

void TestAccessibleText::toolTip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("indented lines") << "A\n  b"
                                    << "<p style='white-space:pre'>A\n  b</p>";
    QTest::newRow("markup characters") << "<b>x</b> & \"y\""
                                       << "<p style='white-space:pre'>&lt;b&gt;x&lt;/b&gt; &amp; "
                                          "&quot;y&quot;</p>";
}

void TestAccessibleText::toolTip() {
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QCOMPARE(plainTextToolTip(text), tip);
}

QTEST_APPLESS_MAIN(TestAccessibleText)
#include "tst_accessibletext.moc"
