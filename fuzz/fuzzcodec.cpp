// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Feeds arbitrary text to the codec's readers and checks what must hold for every input.
// Besides no crash and no undefined behaviour (the sanitizers see to those), the readers
// must agree with the writers: a decimal text that reads re-reads to the same value after
// ToDec, ToHex2 and BinStr always give two upper-case hex digits and eight 0/1 of the low
// byte, and FromBin always lands in 0...255 and mirrors the text's first eight characters.

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "regval/codec.h"

namespace {

constexpr const BitWeightTable& kBitWeight = kFilledBitWeight;

void check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

bool isUpperHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

void checkHex2(const QString& hex, int32_t value) {
    check(hex.size() == 2, "ToHex2 gives two characters");
    check(isUpperHexDigit(hex[0]) && isUpperHexDigit(hex[1]), "ToHex2 gives upper-case hex");
    check(hex.toInt(nullptr, 16) == (value & 0xFF), "ToHex2 shows the low byte");
}

void checkBin(const QString& bits, int32_t value) {
    check(bits.size() == 8, "BinStr gives eight characters");
    for (qsizetype i = 0; i < 8; ++i) {
        check(bits[i] == u'0' || bits[i] == u'1', "BinStr gives only 0 and 1");
        check((bits[i] == u'1') == (((value >> (7 - i)) & 1) != 0), "BinStr bit order");
    }
    check(FromBin(bits, kBitWeight) == (value & 0xFF), "FromBin undoes BinStr");
}

void checkWholeNumber(int32_t value) {
    const std::optional<int32_t> again = readDecimal(ToDec(value));
    check(again && *again == value, "ToDec re-reads to the same value");
    checkHex2(ToHex2(value), value);
    checkBin(BinStr(value, kBitWeight), value);
}

void checkDecimal(const QString& text) {
    const std::optional<int32_t> value = readDecimal(text);

    const std::optional<QString> hex = ToHex2(text);
    const std::optional<QString> bits = BinStr(text, kBitWeight);
    check(hex.has_value() == value.has_value(), "ToHex2 of a text reads like readDecimal");
    check(bits.has_value() == value.has_value(), "BinStr of a text reads like readDecimal");

    const std::optional<int16_t> dec = FromDec(text);
    if (!value) {
        check(!dec, "FromDec reads nothing that readDecimal refuses");
    } else {
        checkWholeNumber(*value);
        checkHex2(*hex, *value);
        checkBin(*bits, *value);
        const bool fits = *value >= INT16_MIN && *value <= INT16_MAX;
        check(dec.has_value() == fits, "FromDec reads exactly the 16-bit values");
        check(!dec || *dec == *value, "FromDec agrees with readDecimal");
    }

    // Blanks around the number never change it, nor does a trailing zero in its fraction.
    const std::optional<int32_t> padded =
        readDecimal(QStringLiteral(" \t") + text + QStringLiteral("\t "));
    check(padded == value, "blanks around a decimal text change nothing");
    if (value && text.contains(u'.')) {
        const QString trimmed = text.trimmed();
        if (!trimmed.isEmpty() && trimmed.back() != u'.')
            check(readDecimal(trimmed + u'0') == value, "a trailing fraction zero changes nothing");
    }
}

void checkHex(const QString& text) {
    const std::optional<int32_t> value = FromHex(text);
    if (value) {
        const std::optional<int32_t> again = FromHex(ToHex(*value));
        check(again && *again == *value, "FromHex undoes ToHex");
        checkWholeNumber(*value);
    }
    // Lower-case and upper-case digits read the same.
    QString lower = text;
    for (QChar& c : lower) {
        if (c >= u'A' && c <= u'F')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    check(FromHex(lower) == value, "hex digits read the same in either case");
}

void checkBinText(const QString& text) {
    const int16_t value = FromBin(text, kBitWeight);
    check(value >= 0 && value <= 255, "FromBin stays in 0...255");
    const QString bits = BinStr(value, kBitWeight);
    for (qsizetype i = 0; i < 8; ++i)
        check((bits[i] == u'1') == (i < text.size() && text[i] == u'1'),
              "FromBin takes exactly the first eight characters, '1' alone as a set bit");
}

// The first byte picks how the rest becomes text, so the fuzzer reaches plain ASCII, broken
// UTF-8 and raw UTF-16 (lone surrogates included) alike.
QString textOf(const uint8_t* data, size_t size) {
    if (size == 0)
        return QString();
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype length = static_cast<qsizetype>(size - 1);
    switch (data[0] % 3) {
        case 0:
            return QString::fromUtf8(bytes, length);
        case 1:
            return QString::fromLatin1(bytes, length);
        default: {
            QString text(length / 2, Qt::Uninitialized);
            std::memcpy(text.data(), bytes, static_cast<size_t>(length / 2) * 2);
            return text;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    checkDecimal(text);
    checkHex(text);
    checkBinText(text);

    if (size >= 4) {
        int32_t value;
        std::memcpy(&value, data, sizeof value);
        checkWholeNumber(value);
    }
    return 0;
}
