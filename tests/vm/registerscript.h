// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One register script, run the same way on the real ports (in the QEMU guest) and on the
// simulated library (on the host), so the two transcripts can be compared line by line.
struct PortFunctions {
    int16_t (*inpB)(int16_t port) = nullptr;
    int16_t (*outB)(int16_t port, int16_t data) = nullptr;
    const char* (*lastError)() = nullptr;
};

struct TranscriptLine {
    std::string tag;  // what may differ between QEMU and the model, see allowedDifference()
    int base = 0;
    char op = 'R';  // 'R' read, 'W' write
    int port = 0;
    int value = 0;      // the byte read or written
    int expected = -1;  // for reads: the value this step must give, -1 when any
    int mask = 0xFF;    // the bits of expected that are checked
    std::string error;  // the library's last error, if the call failed

    std::string text() const;  // "reset-mcr 3F8 R 3FC 08"
    static bool parse(const std::string& text, TranscriptLine& line);
};

// Runs the script on all four bases: reset values first (before any base is written,
// since the model's COM pairs are wired together), then each base in turn.
std::vector<TranscriptLine> runRegisterScript(const PortFunctions& ports);

// True when a hardware (QEMU) and a model transcript line may differ: only QEMU's own
// reset values (MCR 08, MSR B0, divisor 000C) and its lack of MSR delta bits in loopback.
bool allowedDifference(const TranscriptLine& hw, const TranscriptLine& sim);
