// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>
#include <string_view>

// What a person wrote (an argument, a script operand), as the program's messages show it.
namespace cli {

// A text the person wrote, as a message quotes it: in 「」, made safe to show and cut when
// long (text::quoted).
std::string shown(std::string_view text);

// "（全角の文字です。半角で書いてください）" when text holds a full-width letter, digit or sign
// (U+FF01...U+FF5E), which a Japanese input method types easily and which looks like its
// ASCII twin; else nothing.
std::string fullWidthHint(std::string_view text);

}  // namespace cli
