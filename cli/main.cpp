// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// regwise-io and regwise-io-sim: register scripts from the command line. One source; the
// name the program is built under decides the port I/O library it loads and the ports it
// may reach.
#include <csignal>
#include <iostream>

#include "cli/base/console.h"
#include "cli/base/portowners.h"
#include "cli/base/reach.h"
#include "cli/base/stopsignal.h"
#include "cli/capture/capture.h"
#include "cli/commandline.h"
#include "cli/helptext.h"
#include "cli/portlist.h"
#include "cli/probe/identify.h"
#include "cli/probe/selftest.h"
#include "cli/script/runner.h"
#include "cli/script/scriptfile.h"
#include "cli/script/watch.h"
#include "portio/modioscmdef.h"

namespace {

std::vector<cli::Statement> statementsOf(const cli::Command& command) {
    if (command.kind == cli::Command::Kind::Write)
        return {{cli::Statement::Kind::Write, command.ports.front(), command.value, false, 0}};
    std::vector<cli::Statement> reads;
    for (const int32_t port : command.ports)
        reads.push_back({cli::Statement::Kind::Read, port, 0, false, 0});
    return reads;
}

// The simulated UARTs belong to no kernel driver; the real ones may.
cli::PortOwners& portOwners() {
#if REGWISE_REAL_PORTS
    static cli::KernelPortOwners owners;
#else
    static cli::NoPortOwners owners;
#endif
    return owners;
}

// Help and the version are output too: a full disk or a closed pipe is a failure.
int printed(const cli::Console& console, const std::string& text) {
    console.out << text;
    return console.flushed() ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace

// Runs the command; its exit status.
static int runCommand(const cli::Command& command, const cli::Console& console,
                      const cli::Reach& reach) {
    // The library is opened at the first call, so help, the version, bad usage and a bad
    // script load none.
    ModIOSCMdef library(REGWISE_PORTIO_LIBRARY);
    switch (command.kind) {
        case cli::Command::Kind::Help:
            return printed(console, cli::helpText(REGWISE_PROGRAM));
        case cli::Command::Kind::Version:
            return printed(console, std::string(REGWISE_PROGRAM) + " " + REGWISE_VERSION + "\n");
        case cli::Command::Kind::Run: {
            const cli::Script script = cli::readScript(
                command.file, command.file == "-" ? std::string("標準入力") : command.file, reach);
            cli::catchStopSignals();
            return cli::runScript(script, library, console, cli::systemClock(), command.explain);
        }
        case cli::Command::Kind::Watch:
            cli::catchStopSignals();
            return cli::watchPort(library, command.watch, console, cli::systemClock());
        case cli::Command::Kind::List:
            return cli::listPorts("/sys", console, command.json);
        case cli::Command::Kind::Identify:
            cli::catchStopSignals();
            return cli::identifyPorts(library, portOwners(), command.probe, console,
                                      cli::systemClock());
        case cli::Command::Kind::Selftest:
            cli::catchStopSignals();
            return cli::selfTest(library, portOwners(), command.probe, console, cli::systemClock());
        case cli::Command::Kind::Capture: {
            const cli::CaptureOptions& options = command.capture;
            std::optional<cli::Script> script;
            if (!options.script.empty()) {
                script = cli::readScript(
                    options.script, options.script == "-" ? "標準入力" : options.script, reach);
            }
            cli::catchStopSignals();
            return cli::captureLines(library, portOwners(), options, script ? &*script : nullptr,
                                     console, cli::systemClock());
        }
        case cli::Command::Kind::Read:
        case cli::Command::Kind::Write:
            break;
    }
    return cli::runStatements(library, statementsOf(command), console, cli::systemClock(),
                              command.explain);
}

int main(int argc, char* argv[]) {
    // A closed pipe shows as a failed write, so every command still closes its session and
    // restores what it changed before it ends.
    std::signal(SIGPIPE, SIG_IGN);
    cli::Console console{std::cout, std::cerr, REGWISE_PROGRAM};
    console.readerGone = cli::standardOutputReaderGone;
    // regwise-io also reaches the kernel's other port-I/O UARTs, as its helper does; the
    // simulated library has UARTs at the COM bases only.
    const cli::Reach reach = REGWISE_REAL_PORTS ? cli::kernelReach() : cli::Reach{};
    const cli::ParsedCommandLine parsed =
        cli::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), reach);
    if (!parsed.ok()) {
        console.message(parsed.error,
                        std::string("使い方は「") + REGWISE_PROGRAM + " --help」で表示されます。");
        return cli::kExitUsage;
    }
    const int status = runCommand(parsed.command, console, reach);
    // Whoever read the output stopped reading: their choice, not a failure to report.
    return console.readerLeft() ? cli::kExitReaderGone : status;
}
