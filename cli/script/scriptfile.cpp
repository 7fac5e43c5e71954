// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script/scriptfile.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text/quoted.h"

namespace cli {

namespace {

// File names are the person's own, but may be long or hold anything: shown safely, with
// room for a whole path.
constexpr std::size_t kShownNameChars = 200;

std::string named(const std::string& name) {
    return text::bracketed(name, kShownNameChars);
}

Script failed(std::string failure, std::string reason = {}) {
    Script script;
    script.failure = std::move(failure);
    script.failureReason = std::move(reason);
    return script;
}

// Why a file of this kind is not read as a script, or nothing when it may be.
std::string refusedKind(int fd, const struct stat& st, const std::string& name) {
    if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return {};
    if (S_ISCHR(st.st_mode) && ::isatty(fd))
        return {};  // typed in, ended with Ctrl-D
    if (S_ISDIR(st.st_mode))
        return "スクリプト" + named(name) + "はディレクトリのため、読めません。";
    return "スクリプト" + named(name) +
           "は通常のファイルでもパイプでもない（デバイスなど）ため、読みません。";
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// A line's bytes kept at most: the longest line, and room for a byte order mark and a CR.
constexpr std::size_t kLongestKept = kLongestLineBytes + kByteOrderMark.size() + 1;

// Hands the script's lines, without their line feeds, to the parser one at a time.
class LineSplitter {
public:
    LineSplitter(Script& script, const std::string& name, const Reach& reach)
        : m_script(script), m_reach(reach), m_prefix(text::quoted(name, kShownNameChars) + ":") {}

    void take(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == '\n') {
                endLine();
                continue;
            }
            if (m_line.size() < kLongestKept)
                m_line.push_back(data[i]);
            else
                m_tooLong = true;  // the rest of the line is only counted, never kept
        }
    }

    void finish() {
        if (!m_line.empty() || m_tooLong)
            endLine();
    }

private:
    void endLine() {
        ++m_number;
        std::string_view line = m_line;
        // A byte order mark, as editors on Windows save UTF-8, may open the script, and their
        // lines end in CR LF; neither counts towards the line's length.
        if (m_number == 1 && line.starts_with(kByteOrderMark))
            line.remove_prefix(kByteOrderMark.size());
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (m_tooLong || line.size() > kLongestLineBytes) {
            badLine("行が " + std::to_string(kLongestLineBytes) + " バイトを超えています");
        } else {
            ParsedLine parsed = parseLine(line, m_reach);
            if (parsed.statement)
                m_script.statements.push_back(*parsed.statement);
            else if (!parsed.error.empty())
                badLine(parsed.error);
        }
        m_line.clear();
        m_tooLong = false;
    }

    void badLine(const std::string& error) {
        if (m_script.errors.size() < kBadLinesShown)
            m_script.errors.push_back(m_prefix + std::to_string(m_number) + ": " + error);
        else
            ++m_script.errorsNotShown;
    }

    Script& m_script;
    const Reach& m_reach;
    std::string m_prefix;
    std::string m_line;
    bool m_tooLong = false;
    std::size_t m_number = 0;
};

}  // namespace

Script readScript(int fd, const std::string& name, const Reach& reach) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return failed("スクリプト" + named(name) + "を開けません。", std::strerror(errno));
    if (const std::string refusal = refusedKind(fd, st, name); !refusal.empty())
        return failed(refusal);
    Script script;
    LineSplitter lines(script, name, reach);
    std::size_t total = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failed("スクリプト" + named(name) + "を最後まで読めませんでした。",
                          std::strerror(errno));
        }
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
        if (total > kLargestScriptBytes) {
            return failed("スクリプト" + named(name) + "が " +
                          std::to_string(kLargestScriptBytes / (1024 * 1024)) +
                          " MiB を超えるため、読むのをやめました。");
        }
        lines.take(buffer, static_cast<std::size_t>(got));
    }
    lines.finish();
    return script;
}

Script readScript(const std::string& path, const std::string& name, const Reach& reach) {
    if (path == "-")
        return readScript(STDIN_FILENO, name, reach);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failed("スクリプト" + named(name) + "を開けません。", std::strerror(errno));
    Script script = readScript(fd, name, reach);
    ::close(fd);
    return script;
}

}  // namespace cli
