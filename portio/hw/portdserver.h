// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kernel/portwindows.h"
#include "portio/hw/portaccessor.h"
#include "portio/hw/portdprotocol.h"
#include "portio/hw/portreach.h"

// The helper's logic without the machine: the first reply, then one request at a time.
// Every port access is checked against the windows before the accessor is called: the four
// COM windows and the other windows the accessor opened at start, nothing else.
// Ignores the signals meant for the program that started the helper (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) and the job control signals a terminal sends to a process group that reads or
// writes it from the background (SIGTTIN, SIGTTOU). The helper ends when its socket closes,
// so it outlives the program's own stop signal exactly as long as the program needs to put
// the UARTs back. Returns false when one could not be set.
bool ignoreProgramSignals();

class PortdServer {
public:
    explicit PortdServer(PortAccessor& ports, std::string lockdownPath = kLockdownPath);

    static constexpr const char* kLockdownPath = "/sys/kernel/security/lockdown";

    // Opens the windows and says whether the helper is ready, or why not.
    portd::Reply start();

    // Handles one received single-access or stop message of the given size. Sets stop when
    // the helper is to exit after sending the reply.
    portd::Reply handle(const void* message, std::size_t size, bool& stop);

    // Handles one received message of any op, a register sequence included, and gives the
    // reply's bytes: a Reply, after a sequence run followed by its results.
    std::vector<unsigned char> answer(const void* message, std::size_t size, bool& stop);

    // Serves requests on a connected SOCK_SEQPACKET socket until a stop request or until
    // the other end closes. Returns the process exit code.
    int serve(int fd);

    // The selected mode in a lockdown file ("[none] integrity confidentiality" gives
    // "none"), or an empty string when the file is missing or unreadable.
    static std::string lockdownMode(const std::string& path);

private:
    portd::Reply refusal(const OpenOutcome& outcome) const;

    // The reply to any message; for a sequence that ran, results shows its steps' results
    // (kept until the next message), else nothing.
    portd::Reply respond(const void* message, std::size_t size, bool& stop,
                         std::span<const IOSCM_StepResult>& results);
    portd::Reply sequence(const void* message, std::size_t size,
                          std::span<const IOSCM_StepResult>& results);

    // The one rule for every port a request names, single accesses and sequences: inside the
    // windows the start opened.
    bool allowed(int32_t port) const { return m_reach.contains(port); }

    PortAccessor& m_ports;
    std::string m_lockdownPath;
    // The COM windows, and the others a successful start opened.
    PortReach m_reach{kernelports::PortWindows{}};
    std::vector<unsigned char> m_received;    // the message being handled
    std::vector<IOSCM_Step> m_steps;          // a sequence's steps
    std::vector<IOSCM_StepResult> m_results;  // and their results
};
