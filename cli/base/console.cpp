// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/console.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
    const int error = errno;  // the failed write's, when out writes to a file descriptor
    if (!m_toldOutputFailed && !m_readerLeft) {
        if (readerGone && (error == EPIPE || readerGone())) {
            m_readerLeft = true;
        } else {
            m_toldOutputFailed = true;
            message("標準出力に書き込めませんでした。");
        }
    }
    return false;
}

bool Console::readerStillThere() const {
    if (!m_readerLeft && readerGone && readerGone())
        m_readerLeft = true;
    return !m_readerLeft;
}

bool standardOutputReaderGone() {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        return false;
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0;
}

}  // namespace cli
