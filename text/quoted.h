// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text that comes from outside the program (a script line, an argument, a file name, an
// environment variable, a helper's reply) made safe to show on a terminal or in a message
// box: nothing in it can move the cursor, clear the screen, set a title, reorder the line
// or hide itself.
namespace text {

// How many characters of an outside text a message shows before it cuts the text.
inline constexpr std::size_t kShownChars = 40;

// raw as a person may read it: control characters (C0, DEL, C1), the backslash, characters
// that reorder or hide text (bidirectional controls, zero-width characters, the byte order
// mark, line and paragraph separators, the soft hyphen, fillers, variation selectors,
// invisible operators, annotation marks, tag characters) as visible escapes ("\x1B", "\\",
// "\u202E", "\U000E0041"), and every byte that is not part of valid UTF-8 as "\xFF". After
// maxChars characters of raw the rest is cut and "…" marks the cut.
std::string quoted(std::string_view raw, std::size_t maxChars = kShownChars);

// raw as a message quotes it: quoted(raw, maxChars) in 「」.
std::string bracketed(std::string_view raw, std::size_t maxChars = kShownChars);

}  // namespace text
