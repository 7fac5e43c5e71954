// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// How fast capture samples: its samples per second (MSR of COM2, read in register sequences
// by the library, changes kept) against a bare loop of InpB calls on the same port through
// the same library, the fastest the program reads otherwise. Both on the simulated library,
// and on libregwise-portio.so with the stand-in helper whose ports are memory (memoryportd),
// in the same run, as medians of rounds taken in turn.
//   capturebench [rounds]
//
// It runs from the helper benchmark's folder, beside the copy of libregwise-portio.so and the
// stand-in helper, and checks the stand-in is there before the library may start it.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/standinhelper.h"
#include "cli/base/console.h"
#include "cli/base/portowners.h"
#include "cli/base/stopsignal.h"
#include "cli/capture/capture.h"
#include "portio/modioscmdef.h"

namespace {

// No kernel: the simulated UARTs belong to nobody.
cli::NoPortOwners noOwners;

constexpr double kGoal = 0.8;  // of the bare loop's reads per second
constexpr int16_t kMsr = 0x2FE;
constexpr int kCaptureMs = 100;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Reads per second of InpB in a loop for about the capture's time.
double bareRate(PortLibrary& library) {
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::milliseconds(kCaptureMs);
    long reads = 0;
    for (auto now = start; now < until; now = std::chrono::steady_clock::now()) {
        for (int i = 0; i < 64; ++i)
            library.inpB(kMsr);
        reads += 64;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return reads / took.count();
}

// Samples per second of one capture, from its JSON.
double captureRate(PortLibrary& library) {
    std::ostringstream out, err;
    cli::Console console{out, err, "capturebench"};
    cli::CaptureOptions options;
    options.base = kMsr - 6;
    options.ms = kCaptureMs;
    options.json = true;
    if (cli::captureLines(library, noOwners, options, nullptr, console, cli::systemClock()) != 0) {
        std::fprintf(stderr, "capture failed: %s\n", err.str().c_str());
        std::exit(1);
    }
    const std::string json = out.str();
    const auto field = [&](const char* name) {
        const std::size_t at = json.find(name);
        return at == std::string::npos ? 0.0 : std::atof(json.c_str() + at + std::strlen(name));
    };
    const double samples = field("\"samples\": ");
    const double spanUs = field("\"span_us\": ");
    return spanUs > 0 ? (samples - 1) / (spanUs / 1e6) : 0.0;
}

bool measure(const char* name, PortLibrary& library, int rounds) {
    if ((library.start().value & 1) != 0 || !library.start().error.empty()) {
        std::fprintf(stderr, "%s: the session did not start\n", name);
        return false;
    }
    library.stop();
    std::vector<double> bare, captured;
    for (int r = 0; r < rounds; ++r) {
        library.start();
        bare.push_back(bareRate(library));
        library.stop();
        captured.push_back(captureRate(library));
    }
    const double ratio = median(captured) / median(bare);
    std::printf("  %-22s capture %9.0f samples/s   bare InpB loop %9.0f reads/s   x%.2f\n", name,
                median(captured), median(bare), ratio);
    return ratio >= kGoal;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::optional<std::filesystem::path> standIn = standInHelperFolder();
    if (!standIn)
        return 1;
    const std::filesystem::path& folder = *standIn;
    std::printf(
        "capture's samples per second against a bare InpB loop on COM2's MSR, "
        "medians of %d rounds of %d ms taken in turn (goal: x%.1f or more)\n",
        rounds, kCaptureMs, kGoal);
    ModIOSCMdef simulated("libregwise-portio-sim.so", {folder.parent_path().string()});
    ModIOSCMdef helper("libregwise-portio.so", {folder.string()});
    bool met = measure("simulated library", simulated, rounds);
    met = measure("memory-port helper", helper, rounds) && met;
    std::printf("  goal: %s\n", met ? "met" : "MISSED");
    return 0;
}
