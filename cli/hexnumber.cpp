// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/hexnumber.h"

#include <cstdio>

#include "uart/registers.h"

namespace cli {

namespace {

std::optional<uint32_t> hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<uint32_t>(c - 'A' + 10);
    return std::nullopt;
}

std::string quoted(std::string_view text) {
    return "「" + std::string(text) + "」";
}

}  // namespace

std::optional<uint32_t> parseHex(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty())
        return std::nullopt;
    uint32_t value = 0;
    bool tooWide = false;
    for (const char c : text) {
        const std::optional<uint32_t> digit = hexDigit(c);
        if (!digit)
            return std::nullopt;
        if (value > UINT32_MAX >> 4)
            tooWide = true;  // keep going: the rest must still be digits
        else
            value = value << 4 | *digit;
    }
    return tooWide ? UINT32_MAX : value;
}

Operand parsePort(std::string_view text) {
    const std::optional<uint32_t> port = parseHex(text);
    if (!port)
        return {0, quoted(text) + "は16進数のポートではありません"};
    if (*port > INT32_MAX || !uart::inComWindow(static_cast<int32_t>(*port))) {
        return {0, "ポート" + quoted(text) +
                       "は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, 3F8-3FF）の外にあります"};
    }
    return {static_cast<int32_t>(*port), {}};
}

Operand parseByte(std::string_view text) {
    const std::optional<uint32_t> value = parseHex(text);
    if (!value)
        return {0, quoted(text) + "は16進数の値ではありません"};
    if (*value > 0xFF)
        return {0, "値" + quoted(text) + "は 1 バイト（00-FF）に収まりません"};
    return {static_cast<int32_t>(*value), {}};
}

std::string hexPort(int32_t port) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(port));
    return text;
}

std::string hexByte(int32_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value) & 0xFFu);
    return text;
}

}  // namespace cli
