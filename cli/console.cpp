// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/console.h"

namespace cli {

void Console::message(const std::string& text, const std::string& reason) const {
    err << program << ": " << text << '\n';
    if (!reason.empty())
        err << "  " << reason << '\n';
    err.flush();
}

}  // namespace cli
