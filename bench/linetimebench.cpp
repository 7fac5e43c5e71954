// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// What a script that waits as real programs do costs on the simulated UARTs under line
// timing: 20 characters sent at 1200 bps, 8N1, through COM1's loopback, each waited for
// with "R 3FD = 01 WITHIN 100" before it is read, run by the command line's own runner on
// libregwise-portio-sim.so exactly as regwise-io-sim runs it (without the process start).
// The baseline is the floor of the same work: 20 character times on the line. Medians.
//   linetimebench [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/base/console.h"
#include "cli/base/stopsignal.h"
#include "cli/script/runner.h"
#include "cli/script/script.h"
#include "portio/modioscmdef.h"
#include "portio/programfolder.h"
#include "uart/registers.h"

namespace {

constexpr int kCharacters = 20;
constexpr uint8_t kLcr = 0x03;     // 8N1
constexpr uint16_t kDivisor = 96;  // 1200 bps
constexpr double kGoal = 1.10;

std::vector<cli::Statement> script() {
    std::string text = "W 3FB 83\nW 3F8 60\nW 3F9 00\nW 3FB 03\nW 3FA 00\nW 3FC 10\nMASK 3FD 01\n";
    for (int i = 0; i < kCharacters; ++i) {
        char step[96];
        std::snprintf(step, sizeof step, "W 3F8 %02X\nR 3FD = 01 WITHIN 100\nR 3F8 = %02X\n",
                      0x41 + i, 0x41 + i);
        text += step;
    }
    std::vector<cli::Statement> statements;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const cli::ParsedLine parsed = cli::parseLine(line);
        if (!parsed.statement) {
            std::fprintf(stderr, "bad benchmark line %s: %s\n", line.c_str(), parsed.error.c_str());
            std::exit(1);
        }
        statements.push_back(*parsed.statement);
    }
    return statements;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const std::vector<cli::Statement> statements = script();
    ModIOSCMdef library("libregwise-portio-sim.so", {programFolder()});
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        std::ostringstream out;
        std::ostringstream err;
        const cli::Console console(out, err, "linetimebench");
        const auto start = std::chrono::steady_clock::now();
        const int status =
            cli::runStatements(library, statements, console, cli::systemClock(), false);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        if (status != cli::kExitOk) {
            std::fprintf(stderr, "the script failed (%d):\n%s%s", status, out.str().c_str(),
                         err.str().c_str());
            return 1;
        }
        ms.push_back(took.count());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double floor =
        kCharacters *
        std::chrono::duration<double, std::milli>(uart::characterTime(kLcr, kDivisor)).count();
    std::printf(
        "%d characters at 1200 bps through loopback, each waited for (line timing), "
        "median of %d runs\n",
        kCharacters, runs);
    std::printf("  the script %8.2f ms   %d character times %8.2f ms   x%.3f\n", median,
                kCharacters, floor, median / floor);
    std::printf("  goal (within x%.2f): %s\n", kGoal, median / floor <= kGoal ? "met" : "MISSED");
    return 0;
}
