#include <QTest>

#include "accessibletext.h"

Q_DECLARE_METATYPE(RowSide)
Q_DECLARE_METATYPE(ValueForm)

class TestAccessibleText : public QObject {
    Q_OBJECT

private slots:
    void boxNames_data();
    void boxNames();
    void buttons_data();
    void buttons();
    void emptyBoxDescribesItsUse_data();
    void emptyBoxDescribesItsUse();
    void boxDescriptionIsTheDecoding_data();
    void boxDescriptionIsTheDecoding();
    void toolTip_data();
    void toolTip();
    void controlDescriptions_data();
    void controlDescriptions();
};

void TestAccessibleText::boxNames_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<RowSide>("side");
    QTest::addColumn<ValueForm>("form");
    QTest::addColumn<QString>("name");
    QTest::newRow("txtInput3Hex") << 3 << RowSide::Input << ValueForm::Hex << "回線制御 INPUT HEX";
    QTest::newRow("txtOutput3Dec")
        << 3 << RowSide::Output << ValueForm::Dec << "回線制御 OUTPUT DEC";
    QTest::newRow("txtOutput0Bin")
        << 0 << RowSide::Output << ValueForm::Bin << "デバイザラッチ OUTPUT BIN";
    QTest::newRow("txtInput6Dec") << 6 << RowSide::Input << ValueForm::Dec
                                  << "モデムステータス INPUT DEC";
}

void TestAccessibleText::boxNames() {
    QFETCH(int, row);
    QFETCH(RowSide, side);
    QFETCH(ValueForm, form);
    QFETCH(QString, name);
    QCOMPARE(boxAccessibleName(row, side, form), name);
}

void TestAccessibleText::buttons_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<RowSide>("side");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::newRow("cmdInput3 at 3FB") << 3 << RowSide::Input << "回線制御(3FB)"
                                      << "回線制御 INPUT"
                                      << "回線制御(3FB)を1バイト読み、INPUT 欄に表示します";
    QTest::newRow("cmdOutput3 at 2EB") << 3 << RowSide::Output << "回線制御(2EB)"
                                       << "回線制御 OUTPUT"
                                       << "OUTPUT 欄の値を回線制御(2EB)に書き込みます";
    QTest::newRow("cmdInput5 at 3FD") << 5 << RowSide::Input << "回線ステータス(3FD)"
                                      << "回線ステータス INPUT"
                                      << "回線ステータス(3FD)を1バイト読み、INPUT 欄に表示します";
}

void TestAccessibleText::buttons() {
    QFETCH(int, row);
    QFETCH(RowSide, side);
    QFETCH(QString, caption);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QCOMPARE(buttonAccessibleName(row, side), name);
    QCOMPARE(buttonAccessibleDescription(caption, side), description);
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
    // Offset 2 is two registers: what is read is IIR, what is written goes to FCR.
    QTest::newRow("input 2 Hex C1") << 2 << RowSide::Input << ValueForm::Hex << "C1"
                                    << "IIR 割込識別（読み出し: UART の現在の状態）"
                                    << "FIFO (ビット6-7): 11";
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

void TestAccessibleText::controlDescriptions_data() {
    QTest::addColumn<QString>("description");
    QTest::newRow("opt2E8") << "ベースアドレスを0x2E8にします";
    QTest::newRow("cmdIOStart") << "ポートの直接入出力を開始します";
    QTest::newRow("cmdIOEnd") << "ポートの直接入出力を終了します";
    QTest::newRow("chkConfirm") << "チェックすると、OUTPUT で書き込む前に確認します";
    QTest::newRow("Label1") << QString();
    QTest::newRow("fr3") << QString();
}

void TestAccessibleText::controlDescriptions() {
    QFETCH(QString, description);
    QCOMPARE(controlAccessibleDescription(QString::fromLatin1(QTest::currentDataTag())),
             description);
}

QTEST_APPLESS_MAIN(TestAccessibleText)
#include "tst_accessibletext.moc"
