// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// regwise-io and regwise-io-sim: register scripts from the command line. One source; the
// name the program is built under decides the port I/O library it loads.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "cli/commandline.h"
#include "cli/console.h"
#include "cli/helptext.h"
#include "cli/runner.h"
#include "cli/stopsignal.h"
#include "cli/watch.h"
#include "portio/modioscmdef.h"

namespace {

int runFile(const cli::Command& command, PortLibrary& library, const cli::Console& console) {
    if (command.file == "-")
        return cli::runScript(std::cin, "標準入力", library, console, command.explain);
    std::ifstream file(command.file);
    if (!file) {
        console.message("スクリプト「" + command.file + "」を開けません。", std::strerror(errno));
        return cli::kExitUsage;
    }
    return cli::runScript(file, command.file, library, console, command.explain);
}

std::vector<cli::Statement> statementsOf(const cli::Command& command) {
    if (command.kind == cli::Command::Kind::Write)
        return {{cli::Statement::Kind::Write, command.ports.front(), command.value, false}};
    std::vector<cli::Statement> reads;
    for (const int32_t port : command.ports)
        reads.push_back({cli::Statement::Kind::Read, port, 0, false});
    return reads;
}

}  // namespace

int main(int argc, char* argv[]) {
    const cli::Console console{std::cout, std::cerr, REGWISE_IO_PROGRAM};
    const cli::ParsedCommandLine parsed =
        cli::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok()) {
        console.message(parsed.error, std::string("使い方は「") + REGWISE_IO_PROGRAM +
                                          " --help」で表示されます。");
        return cli::kExitUsage;
    }
    const cli::Command& command = parsed.command;

    // The library is opened at the first call, so help, the version and bad usage load none.
    ModIOSCMdef library(REGWISE_PORTIO_LIBRARY);
    switch (command.kind) {
        case cli::Command::Kind::Help:
            std::cout << cli::helpText(REGWISE_IO_PROGRAM) << std::flush;
            return cli::kExitOk;
        case cli::Command::Kind::Version:
            std::cout << REGWISE_IO_PROGRAM << " " << REGWISE_VERSION << std::endl;
            return cli::kExitOk;
        case cli::Command::Kind::Run:
            return runFile(command, library, console);
        case cli::Command::Kind::Watch: {
            cli::catchStopSignals();
            const cli::WatchOptions options{command.ports.front(),
                                            std::chrono::milliseconds(command.intervalMs),
                                            command.count, command.explain};
            return cli::watchPort(library, options, console, cli::sleepUnlessStopped);
        }
        case cli::Command::Kind::Read:
        case cli::Command::Kind::Write:
            break;
    }
    return cli::runStatements(library, statementsOf(command), console, command.explain);
}
