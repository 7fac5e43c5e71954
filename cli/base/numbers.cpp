// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/numbers.h"
#include "cli/base/writtentext.h"

#include <charconv>
#include <cstdio>

#include "regval/codec.h"

namespace cli {

std::optional<uint32_t> parseHex(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty())
        return std::nullopt;
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    if (stop != end)
        return std::nullopt;  // something other than a digit (from_chars takes no sign)
    return error == std::errc::result_out_of_range ? UINT32_MAX : value;
}

std::optional<int> parseDecimal(std::string_view text, int least, int largest) {
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    if (stop != end || error != std::errc() || value < least || value > largest)
        return std::nullopt;
    return value;
}

Operand parsePort(std::string_view text, const Reach& reach) {
    const std::optional<uint32_t> port = parseHex(text);
    if (!port)
        return {0, shown(text) + "は16進数のポートではありません" + fullWidthHint(text)};
    if (*port > INT32_MAX || !reach.contains(static_cast<int32_t>(*port))) {
        // 1021 for 3FD: digits alone that, read as decimal, name a port in reach.
        const std::optional<int> decimal = parseDecimal(text, 0, 0xFFFF);
        if (decimal && reach.contains(*decimal)) {
            return {0, reach.refusal(shown(text)) + "（ポートは 16 進数で書きます。10 進数の " +
                           std::to_string(*decimal) + " なら " + hexPort(*decimal) +
                           " と書いてください）"};
        }
        return {0, reach.refusal(shown(text))};
    }
    return {static_cast<int32_t>(*port), {}};
}

Operand parseByte(std::string_view text) {
    const std::optional<uint32_t> value = parseHex(text);
    if (!value)
        return {0, shown(text) + "は16進数の値ではありません" + fullWidthHint(text)};
    if (*value > 0xFF)
        return {0, "値" + shown(text) + "は 1 バイト（00-FF）に収まりません"};
    return {static_cast<int32_t>(*value), {}};
}

std::string hexPort(int32_t port) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(port));
    return text;
}

std::string hexByte(int32_t value) {
    return ToHex2(value).toStdString();
}

}  // namespace cli
