// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "regval/codec.h"

#include <limits>

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// A Japanese input method types digits, signs and the point full width (U+FF10-U+FF19,
// U+FF0B, U+FF0D, U+FF0E); the decimal reading takes each as its ASCII twin. Nothing else
// is mapped: the hexadecimal and binary readings keep to ASCII.
QChar decimalChar(QChar c) {
    const char16_t u = c.unicode();
    if ((u >= u'\uFF10' && u <= u'\uFF19') || u == u'\uFF0B' || u == u'\uFF0D' || u == u'\uFF0E')
        return QChar(static_cast<char16_t>(u - 0xFEE0));
    return c;
}

int hexDigitValue(QChar c) {
    if (isAsciiDigit(c))
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

QString hexDigits(uint32_t value) {
    return QString::number(value, 16).toUpper();
}

enum class DecimalShape { Number, NotANumber, OutOfRange };

struct DecimalResult {
    DecimalShape shape;
    int64_t value;
};

// The decimal reading with the caller's bounds. Every step works on at most eleven
// significant integer digits, so the arithmetic stays far inside 64 bits whatever the text.
DecimalResult readDecimalIn(const QString& text, int64_t min, int64_t max) {
    const auto at = [&text](qsizetype k) { return decimalChar(text[k]); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;

    qsizetype i = begin;
    bool negative = false;
    if (i < end && (at(i) == u'+' || at(i) == u'-')) {
        negative = at(i) == u'-';
        ++i;
    }

    const qsizetype intBegin = i;
    while (i < end && isAsciiDigit(at(i)))
        ++i;
    const qsizetype intEnd = i;

    qsizetype fracBegin = i;
    qsizetype fracEnd = i;
    if (i < end && at(i) == u'.') {
        fracBegin = ++i;
        while (i < end && isAsciiDigit(at(i)))
            ++i;
        fracEnd = i;
    }

    if (i != end || (intBegin == intEnd && fracBegin == fracEnd))
        return {DecimalShape::NotANumber, 0};

    qsizetype firstSignificant = intBegin;
    while (firstSignificant < intEnd && at(firstSignificant) == u'0')
        ++firstSignificant;
    // Eleven digits already exceed every bound a caller asks for.
    if (intEnd - firstSignificant > 11)
        return {DecimalShape::OutOfRange, 0};

    int64_t magnitude = 0;
    for (qsizetype k = firstSignificant; k < intEnd; ++k)
        magnitude = magnitude * 10 + (at(k).unicode() - u'0');

    // Round half to even on the magnitude; the rule is symmetric, so the sign comes after.
    if (fracBegin < fracEnd) {
        const int firstFraction = at(fracBegin).unicode() - u'0';
        bool restNonZero = false;
        for (qsizetype k = fracBegin + 1; k < fracEnd; ++k)
            restNonZero = restNonZero || at(k) != u'0';
        if (firstFraction > 5 || (firstFraction == 5 && (restNonZero || magnitude % 2 != 0)))
            ++magnitude;
    }

    const int64_t value = negative ? -magnitude : magnitude;
    if (value < min || value > max)
        return {DecimalShape::OutOfRange, 0};
    return {DecimalShape::Number, value};
}

}  // namespace

QString ToHex(int16_t value) {
    return hexDigits(static_cast<uint16_t>(value));
}

QString ToHex(int32_t value) {
    return hexDigits(static_cast<uint32_t>(value));
}

QString ToHex2(int32_t value) {
    return (QStringLiteral("0") + ToHex(value)).right(2);
}

std::optional<QString> ToHex2(const QString& decimalText) {
    if (const std::optional<int32_t> value = readDecimal(decimalText))
        return ToHex2(*value);
    return std::nullopt;
}

QString ToDec(int32_t value) {
    return QString::number(value);
}

QString BinStr(int32_t value, const BitWeightTable& bitWeight) {
    QString bits;
    bits.reserve(8);
    for (int i = 7; i >= 0; --i)
        bits += (value & bitWeight[i]) != 0 ? u'1' : u'0';
    return bits;
}

std::optional<QString> BinStr(const QString& decimalText, const BitWeightTable& bitWeight) {
    if (const std::optional<int32_t> value = readDecimal(decimalText))
        return BinStr(*value, bitWeight);
    return std::nullopt;
}

std::optional<int32_t> FromHex(const QString& text) {
    uint32_t value = 0;
    int significant = 0;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        const int digit = hexDigitValue(c);
        if (digit < 0)
            break;
        if (significant > 0 || digit != 0) {
            if (++significant > 8)
                return std::nullopt;
        }
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    if (value >= 0x8000 && value <= 0xFFFF)
        return static_cast<int32_t>(value) - 0x10000;
    if (value >= 0x80000000u)
        return static_cast<int32_t>(static_cast<int64_t>(value) - 0x100000000);
    return static_cast<int32_t>(value);
}

int16_t FromBin(const QString& text, const BitWeightTable& bitWeight) {
    int16_t value = 0;
    for (qsizetype i = 0; i < 8 && i < text.size(); ++i) {
        if (text[i] == u'1')
            value = static_cast<int16_t>(value | bitWeight[7 - i]);
    }
    return value;
}

std::optional<int16_t> FromDec(const QString& text) {
    const DecimalResult read = readDecimalIn(text, kFromDecMin, kFromDecMax);
    if (read.shape == DecimalShape::Number)
        return static_cast<int16_t>(read.value);
    return std::nullopt;
}

std::optional<int32_t> readDecimal(const QString& text) {
    const DecimalResult read = readDecimalIn(text, std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<int32_t>::max());
    if (read.shape == DecimalShape::Number)
        return static_cast<int32_t>(read.value);
    return std::nullopt;
}

bool isDecimalNumber(const QString& text) {
    return readDecimalIn(text, std::numeric_limits<int64_t>::min(),
                         std::numeric_limits<int64_t>::max())
               .shape != DecimalShape::NotANumber;
}
