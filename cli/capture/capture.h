// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/base/reach.h"

class PortLibrary;

// capture BASE --for MS [--lsr] [--vcd FILE] [--png FILE] [--json] [--script FILE]: the modem
// status lines of one UART (and with --lsr its line status bits) sampled back to back for MS
// milliseconds, in register sequences of reads, kept as changes, printed as a list of changes
// (or JSON) and written as a VCD waveform and a PNG timeline. A change the samples missed
// but MSR's change bits kept is drawn as a pulse one sample wide, marked latched. A script
// given runs at the same time, its waits filled with samples; the registers it changed are
// put back at the end, also after Ctrl-C.
namespace cli {

struct Console;
class StoppableClock;
class PortOwners;
struct Script;

// An hour: memory grows with the changes, not with the time.
inline constexpr int kLongestCaptureMs = 3'600'000;

struct CaptureOptions {
    int32_t base = 0;
    int ms = 0;
    bool lsr = false;
    bool json = false;
    std::string vcd, png, script;  // empty: none
};

// The options of capture that take a value.
enum class CaptureValue { For, Vcd, Png, Script };
// Stores the value of one of them: empty when it can be used, else why not.
std::string takeCaptureValue(CaptureValue option, const std::string& value,
                             CaptureOptions& options);
// The base, and that --for was given; empty when they can be used, else why not.
std::string takeCaptureOperands(const std::vector<std::string>& operands, const Reach& reach,
                                CaptureOptions& options);

// Runs a capture in one session and answers the exit status. script is options.script as read,
// or null. An output file that cannot be written or a script that cannot run is told and
// answered with kExitUsage before any port is touched. A UART the kernel registered, as owners
// tell it, is named in a warning.
int captureLines(PortLibrary& library, PortOwners& owners, const CaptureOptions& options,
                 const Script* script, const Console& console, StoppableClock& pacing);

}  // namespace cli
