// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/writtentext.h"

#include "text/quoted.h"

namespace cli {

std::string shown(std::string_view text) {
    return text::bracketed(text);
}

std::string fullWidthHint(std::string_view text) {
    // U+FF01...U+FF5E are EF BC 81...EF BC BF and EF BD 80...EF BD 9E in UTF-8.
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        if (byte(i) == 0xEF &&
            ((byte(i + 1) == 0xBC && byte(i + 2) >= 0x81 && byte(i + 2) <= 0xBF) ||
             (byte(i + 1) == 0xBD && byte(i + 2) >= 0x80 && byte(i + 2) <= 0x9E)))
            return "（全角の文字です。半角で書いてください）";
    }
    return {};
}

}  // namespace cli
