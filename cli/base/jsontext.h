// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>
#include <string_view>

namespace cli {

// text as a JSON string, quotes included: the quote, the backslash and every control
// character escaped. text must be valid UTF-8 (outside text goes through text::quoted first).
// DEL is escaped too, which a JSON writer need not do but YAML requires: the same text is a
// YAML double-quoted scalar, as in the blocks under selftest's TAP test points.
std::string jsonString(std::string_view text);

}  // namespace cli
