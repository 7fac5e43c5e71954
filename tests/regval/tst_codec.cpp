// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "regval/codec.h"

namespace {

// Row names show the input quoted, with tabs and line feeds spelled out.
QByteArray tag(const char* text) {
    QByteArray name(text);
    name.replace('\t', "\\t").replace('\n', "\\n");
    return '"' + name + '"';
}

}  // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void toHex();
    void byteForms_data();
    void byteForms();
    void fromHex_data();
    void fromHex();
    void fromBin_data();
    void fromBin();
    void decimalReading_data();
    void decimalReading();
    void binaryRoundTrip();
};

void TestCodec::toHex() {
    QCOMPARE(ToHex(int16_t{0x3F8}), QStringLiteral("3F8"));
    QCOMPARE(ToHex(int16_t{0x2EE}), QStringLiteral("2EE"));
    QCOMPARE(ToHex(int16_t{0}), QStringLiteral("0"));
    QCOMPARE(ToHex(int16_t{-1}), QStringLiteral("FFFF"));
    QCOMPARE(ToHex(int32_t{-1}), QStringLiteral("FFFFFFFF"));
    QCOMPARE(ToHex(int32_t{70000}), QStringLiteral("11170"));
}

void TestCodec::byteForms_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("hex2");
    QTest::addColumn<QString>("bin");

    const struct {
        int value;
        const char* hex2;
        const char* bin;
    } rows[] = {
        {0, "00", "00000000"},         {15, "0F", "00001111"},        {96, "60", "01100000"},
        {127, "7F", "01111111"},       {128, "80", "10000000"},       {255, "FF", "11111111"},
        {256, "00", "00000000"},       {300, "2C", "00101100"},       {70000, "70", "01110000"},
        {-1, "FF", "11111111"},        {-128, "80", "10000000"},      {-32768, "00", "00000000"},
        {INT32_MIN, "00", "00000000"}, {INT32_MAX, "FF", "11111111"},
    };
    for (const auto& r : rows)
        QTest::addRow("%d", r.value)
            << r.value << QString::fromLatin1(r.hex2) << QString::fromLatin1(r.bin);
}

// Both the number and its decimal text must give the same forms.
void TestCodec::byteForms() {
    QFETCH(int, value);
    QFETCH(QString, hex2);
    QFETCH(QString, bin);
    QCOMPARE(ToHex2(value), hex2);
    QCOMPARE(BinStr(value, kFilledBitWeight), bin);
    QCOMPARE(ToHex2(QString::number(value)), std::optional(hex2));
    QCOMPARE(BinStr(QString::number(value), kFilledBitWeight), std::optional(bin));
}

void TestCodec::fromHex_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("value");

    const struct {
        const char* text;
        bool readable;
        int value;
    } rows[] = {
        {"", true, 0},
        {"7", true, 7},
        {"7F", true, 127},
        {"ff", true, 255},
        {"1FF", true, 511},
        {"12C", true, 300},
        {"7FFF", true, 32767},
        {"8000", true, -32768},
        {"FFFF", true, -1},
        {"10000", true, 65536},
        {"7FFFFFFF", true, INT32_MAX},
        {"80000000", true, INT32_MIN},
        {"FFFFFFFF", true, -1},
        {"7G", true, 7},
        {"G7", true, 0},
        {"-1", true, 0},
        {"7 F", true, 127},
        {" \t7\nF ", true, 127},
        {"000000001", true, 1},
        {"00000000FFFF", true, -1},
        {"1G23456789", true, 1},
        {"123456789", false, 0},
        {"100000000", false, 0},
        {"FFFFFFFFFFFFFFFFFFFFFFFF", false, 0},
    };
    for (const auto& r : rows) {
        QTest::newRow(tag(r.text).constData())
            << QString::fromLatin1(r.text) << r.readable << r.value;
    }
    QTest::newRow("\"７\" (full-width)") << QStringLiteral("７") << true << 0;
}

void TestCodec::fromHex() {
    QFETCH(QString, text);
    QFETCH(bool, readable);
    QFETCH(int, value);
    const std::optional<int32_t> result = FromHex(text);
    QCOMPARE(result.has_value(), readable);
    if (readable)
        QCOMPARE(*result, value);
}

void TestCodec::fromBin_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("1") << QStringLiteral("1") << 128;
    QTest::newRow("11") << QStringLiteral("11") << 192;
    QTest::newRow("101") << QStringLiteral("101") << 160;
    QTest::newRow("10000000") << QStringLiteral("10000000") << 128;
    QTest::newRow("00000001") << QStringLiteral("00000001") << 1;
    QTest::newRow("01100000") << QStringLiteral("01100000") << 96;
    QTest::newRow("11111111") << QStringLiteral("11111111") << 255;
    QTest::newRow("111111111") << QStringLiteral("111111111") << 255;
    QTest::newRow("10000001x") << QStringLiteral("10000001x") << 129;
    QTest::newRow("1 1") << QStringLiteral("1 1") << 160;
    QTest::newRow("0101 0101") << QStringLiteral("0101 0101") << 82;
    QTest::newRow("abc") << QStringLiteral("abc") << 0;
    QTest::newRow("１ (full-width)") << QStringLiteral("１") << 0;
}

void TestCodec::fromBin() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(FromBin(text, kFilledBitWeight), value);
}

void TestCodec::decimalReading_data() {
    // readable32: readDecimal() reads it; in16: FromDec() reads it too.
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readable32");
    QTest::addColumn<bool>("in16");
    QTest::addColumn<qint64>("value");

    const struct {
        const char* text;
        bool readable32;
        bool in16;
        qint64 value;
    } rows[] = {
        {"128", true, true, 128},
        {"-1", true, true, -1},
        {"12.5", true, true, 12},
        {"13.5", true, true, 14},
        {"-2.5", true, true, -2},
        {"-3.5", true, true, -4},
        {"0.5", true, true, 0},
        {"2.51", true, true, 3},
        {"2.4999", true, true, 2},
        {"2.50000000000000000000001", true, true, 3},
        {"-0", true, true, 0},
        {"+7", true, true, 7},
        {".5", true, true, 0},
        {".6", true, true, 1},
        {"5.", true, true, 5},
        {"007", true, true, 7},
        {" \t42 \t", true, true, 42},
        {"00000000000000000000012", true, true, 12},
        {"32767", true, true, 32767},
        {"-32768", true, true, -32768},
        {"-32768.5", true, true, -32768},
        {"32767.5", true, false, 32768},
        {"32768", true, false, 32768},
        {"-32769", true, false, -32769},
        {"2147483647", true, false, INT32_MAX},
        {"-2147483648", true, false, INT32_MIN},
        {"2147483647.5", false, false, 0},
        {"2147483648", false, false, 0},
        {"-2147483649", false, false, 0},
        {"99999999999999999999999999999", false, false, 0},
        {"", false, false, 0},
        {"  ", false, false, 0},
        {"+", false, false, 0},
        {"-", false, false, 0},
        {".", false, false, 0},
        {"-.", false, false, 0},
        {"abc", false, false, 0},
        {"12a", false, false, 0},
        {"1e3", false, false, 0},
        {"0x1F", false, false, 0},
        {"1,000", false, false, 0},
        {"$5", false, false, 0},
        {"- 5", false, false, 0},
        {"1 2", false, false, 0},
        {"1.2.3", false, false, 0},
        {"+-1", false, false, 0},
    };
    for (const auto& r : rows) {
        QTest::newRow(tag(r.text).constData())
            << QString::fromLatin1(r.text) << r.readable32 << r.in16 << r.value;
    }
    // Full-width digits, signs and point, as an input method types them, read as ASCII.
    QTest::newRow("\"１２\" (full-width)") << QStringLiteral("１２") << true << true << qint64{12};
    QTest::newRow("\"－３．５\" (full-width)")
        << QStringLiteral("－３．５") << true << true << qint64{-4};
    QTest::newRow("\"＋1２.5\" (mixed widths)")
        << QStringLiteral("＋1２.5") << true << true << qint64{12};
    QTest::newRow("\"４００００\" (full-width)")
        << QStringLiteral("４００００") << true << false << qint64{40000};
    QTest::newRow("\"１，０００\" (full-width comma)")
        << QStringLiteral("１，０００") << false << false << qint64{0};
    QTest::newRow("\"￥5\"") << QStringLiteral("￥5") << false << false << qint64{0};
    QTest::newRow("\"　5\" (ideographic space)")
        << QStringLiteral("　5") << false << false << qint64{0};
}

void TestCodec::decimalReading() {
    QFETCH(QString, text);
    QFETCH(bool, readable32);
    QFETCH(bool, in16);
    QFETCH(qint64, value);

    const std::optional<int32_t> wide = readDecimal(text);
    QCOMPARE(wide.has_value(), readable32);
    if (readable32)
        QCOMPARE(qint64{*wide}, value);

    const std::optional<int16_t> narrow = FromDec(text);
    QCOMPARE(narrow.has_value(), in16);
    if (in16)
        QCOMPARE(qint64{*narrow}, value);
}

void TestCodec::binaryRoundTrip() {
    for (int v = 0; v <= 255; ++v)
        QCOMPARE(FromBin(BinStr(v, kFilledBitWeight), kFilledBitWeight), v);
    for (int v = -70000; v <= 70000; v += 7)
        QCOMPARE(BinStr(v, kFilledBitWeight), BinStr(v & 255, kFilledBitWeight));
}

QTEST_APPLESS_MAIN(TestCodec)
#include "tst_codec.moc"
