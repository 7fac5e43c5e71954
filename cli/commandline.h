// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/base/reach.h"
#include "cli/capture/capture.h"
#include "cli/probeoptions.h"

// The program's arguments:
//   read [--explain] PORT...
//   write [--explain] PORT VALUE
//   run [--explain] FILE            ("-" for standard input)
//   watch [--explain] [--json] [--interval MS] [--count N] PORT
//   list [--json]                   the serial ports the kernel has registered
//   identify, selftest              (probeoptions.h)
//   capture                         (capture/capture.h)
//   --help, --version
// Ports and values are hexadecimal ("0x" optional, any case); MS and N are decimal.
namespace cli {

struct Command {
    enum class Kind { Help, Version, Read, Write, Run, Watch, List, Identify, Selftest, Capture };
    Kind kind = Kind::Help;
    bool explain = false;
    std::vector<int32_t> ports;  // read: one or more; write and watch: one; identify and
                                 // selftest: bases
    int32_t value = 0;           // write
    std::string file;            // run
    int intervalMs = 100;        // watch
    int count = 0;               // watch; 0: until stopped
    bool json = false;           // list, watch
    ProbeFlags probe;            // identify, selftest
    CaptureOptions capture;      // capture
};

struct ParsedCommandLine {
    Command command;
    std::string error;  // why the arguments cannot be used (Japanese); empty when they can
    bool ok() const { return error.empty(); }
};

// args: the arguments after the program's name; every port must lie in reach.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args, const Reach& reach = {});

}  // namespace cli
