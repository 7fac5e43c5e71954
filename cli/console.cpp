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

bool Console::print(const std::string& line, bool flush) const {
    out << line << '\n';
    if (flush)
        out.flush();
    return outputWorks();
}

bool Console::flushed() const {
    out.flush();
    return outputWorks();
}

bool Console::outputWorks() const {
    if (out)
        return true;
    if (!m_toldOutputFailed) {
        m_toldOutputFailed = true;
        message("標準出力に書き込めませんでした。");
    }
    return false;
}

}  // namespace cli
