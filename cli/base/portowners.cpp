// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/portowners.h"

#include "cli/base/console.h"
#include "cli/base/numbers.h"
#include "text/quoted.h"

namespace cli {

KernelPortOwners::KernelPortOwners(const std::string& sysfsRoot)
    : m_listing(kernelports::readPorts(sysfsRoot)) {}

std::optional<std::string> KernelPortOwners::ttyAt(int32_t base) {
    const kernelports::Port* port = kernelports::ttyAtPort(m_listing, base);
    return port ? std::optional<std::string>(port->tty) : std::nullopt;
}

std::optional<uint64_t> KernelPortOwners::clockAt(int32_t base) {
    const kernelports::Port* port = kernelports::ttyAtPort(m_listing, base);
    return port ? port->uartclk : std::nullopt;
}

bool KernelPortOwners::isConsole(const std::string& tty) {
    for (const kernelports::Port& port : m_listing.ports) {
        if (port.tty == tty)
            return port.console;
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
            const std::string name = text::bracketed(*tty);
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
