// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "text/quoted.h"

#include <cstdint>
#include <cstdio>

namespace text {

namespace {

// The length of the UTF-8 sequence that starts at text[at] and its code point, or 0 when
// the bytes there are not valid UTF-8 (overlong forms, surrogates and values above
// U+10FFFF included).
std::size_t decode(std::string_view text, std::size_t at, char32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u)
            return 0;
        code = code << 6 | (byte(i) & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// Characters that a terminal or a text renderer does not simply draw.
bool needsEscape(char32_t code) {
    if (code < 0x20 || code == 0x7F || code == '\\')
        return true;
    if (code >= 0x80 && code <= 0x9F)  // C1 controls, NEL among them
        return true;
    switch (code) {
        case 0x00AD:  // soft hyphen
        case 0x034F:  // combining grapheme joiner
        case 0x061C:  // Arabic letter mark
        case 0x115F:  // Hangul choseong and jungseong fillers
        case 0x1160:
        case 0x17B4:  // Khmer inherent vowels
        case 0x17B5:
        case 0x2028:  // line and paragraph separators
        case 0x2029:
        case 0x3164:  // Hangul filler
        case 0xFEFF:  // byte order mark, zero-width no-break space
        case 0xFFA0:  // half-width Hangul filler
            return true;
        default:
            break;
    }
    struct Range {
        char32_t first;
        char32_t last;
    };
    // Blank or invisible when drawn, or reordering what follows them.
    static constexpr Range kHidden[] = {
        {0x180B, 0x180F},    // Mongolian variation selectors and vowel separator
        {0x200B, 0x200F},    // zero-width space, non-joiner, joiner; direction marks
        {0x202A, 0x202E},    // embeddings and overrides
        {0x2060, 0x206F},    // word joiner, invisible operators, isolates, deprecated formats
        {0xFE00, 0xFE0F},    // variation selectors
        {0xFFF0, 0xFFFB},    // unassigned specials; interlinear annotation marks
        {0x1BCA0, 0x1BCA3},  // shorthand format controls
        {0x1D173, 0x1D17A},  // musical formatting symbols
        {0xE0000, 0xE0FFF},  // tag characters, variation selectors supplement
    };
    for (const Range& range : kHidden) {
        if (code >= range.first && code <= range.last)
            return true;
    }
    return false;
}

std::string escape(char32_t code) {
    char buffer[12];
    if (code == '\\')
        return "\\\\";
    if (code < 0x80)
        std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned>(code));
    else if (code <= 0xFFFF)
        std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(code));
    else
        std::snprintf(buffer, sizeof buffer, "\\U%08X", static_cast<unsigned>(code));
    return buffer;
}

}  // namespace

std::string quoted(std::string_view raw, std::size_t maxChars) {
    std::string shown;
    std::size_t at = 0;
    for (std::size_t chars = 0; at < raw.size() && chars < maxChars; ++chars) {
        char32_t code = 0;
        const std::size_t length = decode(raw, at, code);
        if (length == 0) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(raw[at])));
            shown += buffer;
            ++at;
            continue;
        }
        if (needsEscape(code))
            shown += escape(code);
        else
            shown.append(raw.substr(at, length));
        at += length;
    }
    if (at < raw.size())
        shown += "…";
    return shown;
}

std::string bracketed(std::string_view raw, std::size_t maxChars) {
    return "「" + quoted(raw, maxChars) + "」";
}

}  // namespace text
