// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/portowners.h"

#include <fcntl.h>
#include <unistd.h>

#include <sstream>

#include "cli/console.h"
#include "cli/numbers.h"
#include "text/quoted.h"

namespace cli {

namespace {

constexpr int kMostTtys = 32;
constexpr std::size_t kLongestFile = 256;

// The start of a small text file, or none when it cannot be read.
std::optional<std::string> smallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    char buffer[kLongestFile];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got < 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(got));
}

std::string trimmed(const std::string& text) {
    const std::size_t end = text.find_last_not_of(" \t\n");
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

std::optional<std::string> SysfsPortOwners::ttyAt(int32_t base) {
    for (int number = 0; number < kMostTtys; ++number) {
        const std::string tty = "ttyS" + std::to_string(number);
        const std::optional<std::string> port = smallFile(m_root + "/" + tty + "/port");
        if (!port)
            continue;
        const std::optional<uint32_t> value = parseHex(trimmed(*port));
        const std::optional<std::string> type = smallFile(m_root + "/" + tty + "/type");
        if (value && *value == static_cast<uint32_t>(base) && type && trimmed(*type) != "0")
            return tty;
    }
    return std::nullopt;
}

bool SysfsPortOwners::isConsole(const std::string& tty) {
    const std::optional<std::string> active = smallFile(m_root + "/console/active");
    if (!active)
        return false;
    std::istringstream words(*active);
    for (std::string word; words >> word;) {
        if (word == tty)
            return true;
    }
    return false;
}

KernelPorts checkKernelPorts(PortOwners& owners, const std::vector<int32_t>& bases, bool force,
                             const Console& console) {
    KernelPorts kernel;
    for (const int32_t base : bases) {
        std::optional<std::string> tty = owners.ttyAt(base);
        if (tty) {
            const std::string port = "ポート0x" + hexPort(base);
            const std::string name = "「" + text::quoted(*tty) + "」";
            if (!owners.isConsole(*tty)) {
                console.message(
                    "警告: " + port + "の UART はカーネルが" + name + "として登録しています。",
                    "使っているプログラムがあれば閉じてください。");
            } else if (force) {
                console.message(
                    "警告: " + port + "の UART はカーネルのコンソール" + name + "です。",
                    "コンソールの出力が乱れることがあります。");
            } else {
                console.message(
                    port + "の UART はカーネルのコンソール" + name + "のため、触れませんでした。",
                    "--force を付ければ調べますが、コンソールの出力が乱れます。");
                kernel.refused = true;
            }
        }
        kernel.ttys.push_back(std::move(tty));
    }
    return kernel;
}

}  // namespace cli
