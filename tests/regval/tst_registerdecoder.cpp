// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QStringList>
#include <QTest>

#include "regval/registerdecoder.h"

Q_DECLARE_METATYPE(RegisterDirection)
Q_DECLARE_METATYPE(ValueForm)

namespace {

constexpr auto R = RegisterDirection::Read;
constexpr auto W = RegisterDirection::Write;

// The one line of a description that holds field, or an empty string when none does; fails
// the test when several do, since then the table's field is ambiguous.
QString lineWith(const QString& description, const QString& field) {
    QString found;
    int count = 0;
    for (const QString& line : description.split(QLatin1Char('\n'))) {
        if (line.contains(field)) {
            found = line;
            ++count;
        }
    }
    if (count > 1) {
        qWarning("%d lines hold the field", count);
        return QStringLiteral("<ambiguous>");
    }
    return found;
}

}  // namespace

class TestRegisterDecoder : public QObject {
    Q_OBJECT

private slots:
    void keyLines_data();
    void keyLines();
    void everyByteOfEveryRegister();
    void boxTextDecodesAsItsValue_data();
    void boxTextDecodesAsItsValue();
    void boxTextWithoutDecoding_data();
    void boxTextWithoutDecoding();
};

// One row per key line: the line holding `field` must also hold `meaning`; an empty meaning
// says that no line may hold `field`.
void TestRegisterDecoder::keyLines_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<RegisterDirection>("dir");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("meaning");

    auto row = [](const char* name, int index, RegisterDirection dir, int value, const char* field,
                  const char* meaning) {
        QTest::newRow(name) << index << dir << value << QString::fromUtf8(field)
                            << QString::fromUtf8(meaning);
    };

    // Offset 0: the data byte and DLL, both always shown.
    row("RBR 41 character", 0, R, 0x41, "DLAB=0: RBR", "0x41 (65) 文字 'A'");
    row("THR 41 character", 0, W, 0x41, "DLAB=0: THR", "'A'");
    row("THR 0A control name", 0, W, 0x0A, "DLAB=0", "制御文字 LF");
    row("RBR 00 control name", 0, R, 0x00, "DLAB=0", "制御文字 NUL");
    row("RBR 20 blank", 0, R, 0x20, "DLAB=0", "空白");
    row("RBR 7E last printable", 0, R, 0x7E, "DLAB=0", "'~'");
    row("RBR 7F DEL", 0, R, 0x7F, "DLAB=0", "制御文字 DEL");
    row("RBR 80 outside ASCII", 0, R, 0x80, "DLAB=0", "ASCII 外");
    row("DLL 0C 9600", 0, W, 0x0C, "DLAB=1: DLL", "分周値 12 → 9600 bps");
    row("DLL 01 115200", 0, W, 0x01, "DLAB=1: DLL", "分周値 1 → 115200 bps");
    row("DLL 00 no clock", 0, R, 0x00, "DLAB=1: DLL", "クロックが止まり");
    row("DLL 07 inexact", 0, R, 0x07, "DLAB=1: DLL", "約 16457.14 bps");
    row("DLL FF", 0, R, 0xFF, "DLAB=1: DLL", "分周値 255 → 約 451.76 bps");
    row("DLL in range no note", 0, R, 0xFF, "範囲外", "");

    // Offset 1: IER and DLM.
    row("IER 00 ERBFI", 1, W, 0x00, "ERBFI", "0 — 無効");
    row("IER 00 EDSSI", 1, W, 0x00, "EDSSI", "0 — 無効");
    row("IER 00 no reserved", 1, R, 0x00, "予約", "");
    row("IER 0F ERBFI", 1, W, 0x0F, "ERBFI", "1 — 有効");
    row("IER 0F ETBEI", 1, W, 0x0F, "ETBEI", "1 — 有効");
    row("IER 0F ELSI", 1, W, 0x0F, "ELSI", "1 — 有効");
    row("IER 0F EDSSI", 1, W, 0x0F, "EDSSI", "1 — 有効");
    row("IER 0F no reserved", 1, W, 0x0F, "予約", "");
    row("IER F0 read reserved", 1, R, 0xF0, "予約", "ビット 4, 5, 6, 7 が 1");
    row("IER F0 read ERBFI", 1, R, 0xF0, "ERBFI", "0 — 無効");
    row("IER 20 write reserved", 1, W, 0x20, "予約 (ビット4-7)", "ビット 5 が 1");
    row("DLM 00", 1, W, 0x00, "DLAB=1: DLM", "DLL の値だけ");
    row("DLM 01", 1, W, 0x01, "DLAB=1: DLM", "分周値 256 → 450 bps");
    row("DLM FF", 1, R, 0xFF, "DLAB=1: DLM", "分周値 65280 → 約 1.76 bps");
    row("IER FF read empty bus", 1, R, 0xFF, "UART のない", "FF");
    row("IER FF write no bus hint", 1, W, 0xFF, "UART のない", "");

    // Offset 2 read: IIR.
    row("IIR 01 nothing pending", 2, R, 0x01, "割込保留", "1 — 保留中の割込はありません");
    row("IIR 01 no FIFO", 2, R, 0x01, "FIFO (ビット6-7)", "00 — FIFO なし");
    row("IIR C1 FIFO on", 2, R, 0xC1, "FIFO (ビット6-7)", "11 — FIFO 有効");
    row("IIR 81 unusable FIFO", 2, R, 0x81, "FIFO (ビット6-7)", "使えません");
    row("IIR 41 undefined FIFO", 2, R, 0x41, "FIFO (ビット6-7)", "01 — 未定義");
    row("IIR 06 line status", 2, R, 0x06, "割込 ID", "011 — 受信ラインステータス（優先度 1");
    row("IIR 06 pending", 2, R, 0x06, "割込保留", "0 — 割込が保留されています");
    row("IIR 04 received data", 2, R, 0x04, "割込 ID", "010 — 受信データあり（優先度 2");
    row("IIR CC timeout", 2, R, 0xCC, "割込 ID", "110 — 文字タイムアウト（優先度 2");
    row("IIR 02 THR empty", 2, R, 0x02, "割込 ID", "001 — 送信保持レジスタ空（優先度 3");
    row("IIR 00 modem status", 2, R, 0x00, "割込 ID", "000 — モデムステータス（優先度 4");
    row("IIR 08 undefined id", 2, R, 0x08, "割込 ID", "100 — 未定義");
    row("IIR 03 id without pending", 2, R, 0x03, "割込 ID", "001 — 保留がないのに");
    row("IIR 30 reserved", 2, R, 0x30, "予約", "ビット 4, 5 が 1");
    row("IIR C1 no reserved", 2, R, 0xC1, "予約", "");
    row("IIR FF empty bus", 2, R, 0xFF, "UART のない", "FF");

    // Offset 2 write: FCR.
    row("FCR 00 FIFO off", 2, W, 0x00, "FIFO 有効", "0 — FIFO を無効にする");
    row("FCR 00 trigger 1", 2, W, 0x00, "受信トリガレベル", "00 — 1 バイト");
    row("FCR 00 no interrupt id", 2, W, 0x00, "割込 ID", "");
    row("FCR 41 trigger 4", 2, W, 0x41, "受信トリガレベル", "01 — 4 バイト");
    row("FCR 81 trigger 8", 2, W, 0x81, "受信トリガレベル", "10 — 8 バイト");
    row("FCR C7 trigger 14", 2, W, 0xC7, "受信トリガレベル", "11 — 14 バイト");
    row("FCR C7 FIFO on", 2, W, 0xC7, "FIFO 有効", "1 — 送受信 FIFO を有効にする");
    row("FCR C7 RCVR reset", 2, W, 0xC7, "RCVR FIFO リセット", "1 — 受信 FIFO を空にする");
    row("FCR C7 XMIT reset", 2, W, 0xC7, "XMIT FIFO リセット", "1 — 送信 FIFO を空にする");
    row("FCR C7 DMA mode 0", 2, W, 0xC7, "DMA モード", "0 — モード 0");
    row("FCR 09 DMA mode 1", 2, W, 0x09, "DMA モード", "1 — モード 1");
    row("FCR 30 reserved", 2, W, 0x30, "予約", "ビット 4, 5 が 1");

    // Offset 3: LCR.
    row("LCR 83 word length", 3, W, 0x83, "データ長", "11 — 8 ビット");
    row("LCR 83 stop bits", 3, W, 0x83, "ストップビット", "0 — 1 ビット");
    row("LCR 83 parity", 3, W, 0x83, "パリティ", "000 — なし");
    row("LCR 83 DLAB", 3, W, 0x83, "DLAB", "1 — オン");
    row("LCR 83 break", 3, W, 0x83, "ブレーク", "0 — オフ");
    row("LCR 83 frame", 3, W, 0x83, "フレーム形式", "8N1");
    row("LCR 00 word length", 3, R, 0x00, "データ長", "00 — 5 ビット");
    row("LCR 00 DLAB", 3, R, 0x00, "DLAB", "0 — オフ");
    row("LCR 00 frame", 3, R, 0x00, "フレーム形式", "5N1");
    row("LCR 01 word length", 3, R, 0x01, "データ長", "6 ビット");
    row("LCR 02 word length", 3, R, 0x02, "データ長", "7 ビット");
    row("LCR 04 stop 1.5 with 5 bits", 3, W, 0x04, "ストップビット", "1 — 1.5 ビット");
    row("LCR 05 stop 2 with 6 bits", 3, W, 0x05, "ストップビット", "1 — 2 ビット");
    row("LCR 07 stop 2 with 8 bits", 3, W, 0x07, "フレーム形式", "8N2");
    row("LCR 0B odd", 3, W, 0x0B, "パリティ", "001 — 奇数");
    row("LCR 1A even", 3, W, 0x1A, "フレーム形式", "7E1");
    row("LCR 2B mark", 3, W, 0x2B, "パリティ", "101 — マーク");
    row("LCR 3B space", 3, W, 0x3B, "パリティ", "111 — スペース");
    row("LCR 30 parity off", 3, W, 0x30, "パリティ", "110 — なし（PEN=0");
    row("LCR 40 break", 3, W, 0x40, "ブレーク", "1 — オン");
    row("LCR FF frame", 3, R, 0xFF, "フレーム形式", "8S2");

    // Offset 4: MCR.
    row("MCR 00 DTR", 4, W, 0x00, "DTR", "0 — オフ");
    row("MCR 00 loopback", 4, W, 0x00, "ループバック", "0 — オフ");
    row("MCR 00 no reserved", 4, W, 0x00, "予約", "");
    row("MCR 1F DTR", 4, W, 0x1F, "  DTR", "1 — オン");
    row("MCR 1F RTS", 4, W, 0x1F, "  RTS", "1 — オン");
    row("MCR 1F OUT1", 4, W, 0x1F, "OUT1 (", "1 — オン");
    row("MCR 1F OUT2", 4, W, 0x1F, "OUT2 (", "1 — オン（PC では割込線 IRQ");
    row("MCR 1F loopback", 4, W, 0x1F, "ループバック", "1 — オン");
    row("MCR E0 reserved", 4, R, 0xE0, "予約", "ビット 5, 6, 7 が 1");

    // Offset 5: LSR.
    row("LSR 60 THRE", 5, R, 0x60, "THRE", "1 — 空");
    row("LSR 60 TEMT", 5, R, 0x60, "TEMT", "1 — 空（送信完了）");
    row("LSR 60 DR", 5, R, 0x60, "DR 受信データ", "0 — なし");
    row("LSR 60 nothing to clear", 5, R, 0x60, "読むと 0", "");
    row("LSR 00 THRE", 5, R, 0x00, "THRE", "0 — 空でない");
    row("LSR 00 TEMT", 5, R, 0x00, "TEMT", "0 — 送信中");
    row("LSR 01 DR", 5, R, 0x01, "DR 受信データ", "1 — あり");
    row("LSR 1E OE", 5, R, 0x1E, "OE", "1 — あり");
    row("LSR 1E PE", 5, R, 0x1E, "PE", "1 — あり");
    row("LSR 1E FE", 5, R, 0x1E, "FE", "1 — あり");
    row("LSR 1E BI", 5, R, 0x1E, "BI", "1 — あり");
    row("LSR 1E cleared by reading", 5, R, 0x1E, "読むと 0", "ビット1-4");
    row("LSR 80 FIFO error", 5, R, 0x80, "受信 FIFO エラー", "1 — あり");
    row("LSR FF empty bus", 5, R, 0xFF, "UART のない", "FF");
    row("LSR 60 write warns", 5, W, 0x60, "読み出し用", "書き込みは工場テスト用");
    row("LSR 60 read no warning", 5, R, 0x60, "読み出し用", "");

    // Offset 6: MSR.
    row("MSR 00 DCTS", 6, R, 0x00, "DCTS", "0 — なし");
    row("MSR 00 DCD", 6, R, 0x00, "DCD キャリア", "0 — オフ");
    row("MSR 00 nothing to clear", 6, R, 0x00, "読むと 0", "");
    row("MSR B0 CTS", 6, R, 0xB0, "CTS 送信可", "1 — オン");
    row("MSR B0 DSR", 6, R, 0xB0, "DSR データ", "1 — オン");
    row("MSR B0 RI", 6, R, 0xB0, "RI 被呼", "0 — オフ");
    row("MSR B0 DCD", 6, R, 0xB0, "DCD キャリア", "1 — オン");
    row("MSR FF TERI", 6, R, 0xFF, "TERI", "1 — あり（RI がオンからオフ");
    row("MSR FF DDSR", 6, R, 0xFF, "DDSR", "1 — あり");
    row("MSR FF DDCD", 6, R, 0xFF, "DDCD", "1 — あり");
    row("MSR FF cleared by reading", 6, R, 0xFF, "読むと 0", "ビット0-3");
    row("MSR 00 write warns", 6, W, 0x00, "読み出し用", "MCR で");

    // Offset 7: SCR, the same in both directions.
    row("SCR 5A kept as written", 7, W, 0x5A, "0x5A (90)", "UART の動作には影響しません");

    // Values beyond a byte: only the low byte is decoded, and the first line says so.
    row("LCR 300 note", 3, W, 300, "範囲外",
        "値 300 は 0〜255 の範囲外です。ポートに渡るのは下位バイト 0x2C (44)");
    row("LCR 300 low byte frame", 3, W, 300, "フレーム形式", "5M1.5");
    row("THR 256 note", 0, W, 256, "範囲外", "下位バイト 0x00 (0)");
    row("THR 256 low byte", 0, W, 256, "DLAB=0", "制御文字 NUL");
    row("MCR -1 note", 4, W, -1, "範囲外",
        "値 -1 は 0〜255 の範囲外です。ポートに渡るのは下位バイト 0xFF");
    row("MCR -1 low byte", 4, W, -1, "予約", "ビット 5, 6, 7 が 1");
    row("DLL -32768 low byte", 0, W, -32768, "DLAB=1: DLL", "分周値 0");

    // Offsets that are not a register.
    row("index 8", 8, R, 0, "レジスタ番号", "8 はありません");
    row("index -1", -1, W, 0, "レジスタ番号", "-1 はありません");
}

void TestRegisterDecoder::keyLines() {
    QFETCH(int, index);
    QFETCH(RegisterDirection, dir);
    QFETCH(int, value);
    QFETCH(QString, field);
    QFETCH(QString, meaning);

    const QString description = describeRegister(index, dir, value);
    const QString line = lineWith(description, field);
    if (meaning.isEmpty()) {
        QVERIFY2(line.isEmpty(), qPrintable(description));
    } else {
        QVERIFY2(line.contains(meaning), qPrintable(description));
    }
}

// Every byte in every register and direction decodes without a blank line, with a fixed
// set of labelled alternatives where DLAB decides.
void TestRegisterDecoder::everyByteOfEveryRegister() {
    for (int index = 0; index <= 7; ++index) {
        for (const auto dir : {R, W}) {
            for (int value = 0; value <= 255; ++value) {
                const QStringList lines =
                    describeRegister(index, dir, value).split(QLatin1Char('\n'));
                QVERIFY(lines.size() >= 2);
                for (const QString& line : lines) {
                    QVERIFY(!line.trimmed().isEmpty());
                }
                if (index <= 1) {
                    QCOMPARE(lines.filter(QStringLiteral("DLAB=0: ")).size(), 1);
                    QCOMPARE(lines.filter(QStringLiteral("DLAB=1: ")).size(), 1);
                }
            }
        }
    }
}

// A box's text that converts is described exactly as the value it stands for.
void TestRegisterDecoder::boxTextDecodesAsItsValue_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<RegisterDirection>("dir");
    QTest::addColumn<ValueForm>("form");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("Dec 131") << 3 << W << ValueForm::Dec << QStringLiteral("131") << 131;
    QTest::newRow("Dec 300") << 3 << W << ValueForm::Dec << QStringLiteral("300") << 300;
    QTest::newRow("Dec -1") << 4 << W << ValueForm::Dec << QStringLiteral("-1") << -1;
    QTest::newRow("Dec 32767") << 0 << W << ValueForm::Dec << QStringLiteral("32767") << 32767;
    QTest::newRow("Dec -32768") << 0 << W << ValueForm::Dec << QStringLiteral("-32768") << -32768;
    QTest::newRow("Hex 60 read") << 5 << R << ValueForm::Hex << QStringLiteral("60") << 0x60;
    QTest::newRow("Hex 1FF") << 3 << W << ValueForm::Hex << QStringLiteral("1FF") << 511;
    QTest::newRow("Hex FFFF") << 3 << W << ValueForm::Hex << QStringLiteral("FFFF") << -1;
    QTest::newRow("Hex 7G") << 3 << W << ValueForm::Hex << QStringLiteral("7G") << 7;
    QTest::newRow("Bin 10000011") << 3 << W << ValueForm::Bin << QStringLiteral("10000011") << 0x83;
    QTest::newRow("Bin 1 is bit 7") << 3 << W << ValueForm::Bin << QStringLiteral("1") << 0x80;
    QTest::newRow("Bin 00000000") << 1 << R << ValueForm::Bin << QStringLiteral("00000000") << 0;
}

void TestRegisterDecoder::boxTextDecodesAsItsValue() {
    QFETCH(int, index);
    QFETCH(RegisterDirection, dir);
    QFETCH(ValueForm, form);
    QFETCH(QString, text);
    QFETCH(int, value);

    const QString description = describeBoxText(index, dir, form, text);
    QVERIFY(!description.isEmpty());
    QCOMPARE(description, describeRegister(index, dir, value));
}

// Texts with no decoding: empty gives nothing, the rest one line saying why.
void TestRegisterDecoder::boxTextWithoutDecoding_data() {
    QTest::addColumn<ValueForm>("form");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QString unreadable = QStringLiteral("この値は解釈できません");
    QTest::newRow("Dec empty") << ValueForm::Dec << QString() << QString();
    QTest::newRow("Hex empty") << ValueForm::Hex << QString() << QString();
    QTest::newRow("Bin empty") << ValueForm::Bin << QString() << QString();
    QTest::newRow("Dec blank") << ValueForm::Dec << QStringLiteral("  ") << unreadable;
    QTest::newRow("Dec abc") << ValueForm::Dec << QStringLiteral("abc") << unreadable;
    QTest::newRow("Dec beyond 32 bits")
        << ValueForm::Dec << QStringLiteral("99999999999") << unreadable;
    QTest::newRow("Hex nine digits") << ValueForm::Hex << QStringLiteral("123456789") << unreadable;
    QTest::newRow("Bin 2") << ValueForm::Bin << QStringLiteral("2") << unreadable;
    QTest::newRow("Bin 101x") << ValueForm::Bin << QStringLiteral("101x") << unreadable;
    QTest::newRow("Bin nine characters")
        << ValueForm::Bin << QStringLiteral("111111111") << unreadable;
    QTest::newRow("Bin 0101 0101") << ValueForm::Bin << QStringLiteral("0101 0101") << unreadable;
    QTest::newRow("Dec 32768") << ValueForm::Dec << QStringLiteral("32768")
                               << QStringLiteral("値 32768 は -32768〜32767 の範囲外のため");
    QTest::newRow("Dec -32769") << ValueForm::Dec << QStringLiteral("-32769")
                                << QStringLiteral("値 -32769 は");
    QTest::newRow("Hex 10000") << ValueForm::Hex << QStringLiteral("10000")
                               << QStringLiteral("値 65536 は");
}

void TestRegisterDecoder::boxTextWithoutDecoding() {
    QFETCH(ValueForm, form);
    QFETCH(QString, text);
    QFETCH(QString, expected);

    for (int index = 0; index <= 6; ++index) {
        for (const auto dir : {R, W}) {
            const QString description = describeBoxText(index, dir, form, text);
            if (expected.isEmpty()) {
                QVERIFY(description.isEmpty());
            } else {
                QVERIFY2(description.startsWith(expected), qPrintable(description));
                QVERIFY(!description.contains(QLatin1Char('\n')));
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestRegisterDecoder)
#include "tst_registerdecoder.moc"
