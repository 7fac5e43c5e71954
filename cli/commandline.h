// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/base/reach.h"
#include "cli/probe/probeoptions.h"
#include "cli/script/watch.h"

// The program's arguments: a command, its options and its operands, each command as a row of
// the table in commandline.cpp; or --help (-h, help) or --version (-V), which win wherever
// they stand before "--". Ports and values are hexadecimal ("0x" optional, any case); the
// watch's MS and N are decimal.
namespace cli {

struct Command {
    enum class Kind { Help, Version, Read, Write, Run, Watch, List, Identify, Selftest };
    Kind kind = Kind::Help;
    bool explain = false;        // read, write, run
    std::vector<int32_t> ports;  // read: one or more; write: one
    int32_t value = 0;           // write
    std::string file;            // run
    bool json = false;           // list
    WatchOptions watch;          // watch
    ProbeOptions probe;          // identify, selftest
};

struct ParsedCommandLine {
    Command command;
    std::string error;  // why the arguments cannot be used (Japanese); empty when they can
    bool ok() const { return error.empty(); }
};

// args: the arguments after the program's name; every port must lie in reach.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args, const Reach& reach = {});

// Each command as --help shows it after the program's name ("read [--explain] ポート..."), in
// the table's order.
std::vector<std::string_view> commandSynopses();

}  // namespace cli
