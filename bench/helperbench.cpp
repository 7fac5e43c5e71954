// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// What one InpB costs through the real-port library: libregwise-portio.so, its helper
// process and the socketpair, with the helper's ports replaced by memory (memoryportd),
// against the bare InpB of the simulated library, measured in the same run as medians over
// batches taken in turn.
//   helperbench [batches]
//
// It runs from a folder of its own holding a copy of libregwise-portio.so and the stand-in
// helper, so the library, which looks beside itself and beside the executable, can find
// no other helper; it checks the stand-in is there before it starts one.

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "portio/ioscm.h"

namespace {

constexpr double kGoalUs = 25;
constexpr int16_t kPort = 0x3FF;  // COM1's scratch register

struct PortLibrary {
    IOSCM_StartFn start = nullptr;
    IOSCM_StopFn stop = nullptr;
    IOSCM_InpBFn inpB = nullptr;
    IOSCM_OutBFn outB = nullptr;
    IOSCM_LastErrorFn lastError = nullptr;

    bool open(const std::string& path) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return false;
        start = reinterpret_cast<IOSCM_StartFn>(dlsym(handle, "IOSCM_Start"));
        stop = reinterpret_cast<IOSCM_StopFn>(dlsym(handle, "IOSCM_Stop"));
        inpB = reinterpret_cast<IOSCM_InpBFn>(dlsym(handle, "InpB"));
        outB = reinterpret_cast<IOSCM_OutBFn>(dlsym(handle, "OutB"));
        lastError = reinterpret_cast<IOSCM_LastErrorFn>(dlsym(handle, "IOSCM_LastError"));
        return start && stop && inpB && outB && lastError;
    }
    std::string error() const {
        const char* e = lastError();
        return e ? e : "";
    }
};

bool isMemoryHelper(const std::filesystem::path& helper) {
    std::ifstream file(helper, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    return bytes.find("regwise-memory-portd: its ports are memory") != std::string::npos;
}

// Microseconds per call of each body, each the median over batches run in turn.
std::vector<double> measure(const std::vector<std::function<void()>>& bodies,
                            const std::vector<int>& perBatch, int batches) {
    std::vector<std::vector<double>> samples(bodies.size());
    for (int b = 0; b < batches; ++b) {
        for (size_t i = 0; i < bodies.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            for (int k = 0; k < perBatch[i]; ++k)
                bodies[i]();
            const std::chrono::duration<double, std::micro> took =
                std::chrono::steady_clock::now() - start;
            samples[i].push_back(took.count() / perBatch[i]);
        }
    }
    std::vector<double> medians;
    for (auto& s : samples) {
        std::sort(s.begin(), s.end());
        medians.push_back(s[s.size() / 2]);
    }
    return medians;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int batches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 201;
    const std::filesystem::path folder =
        std::filesystem::read_symlink("/proc/self/exe").parent_path();

    if (!isMemoryHelper(folder / "regwise-portd")) {
        std::fprintf(stderr, "%s is not the benchmark's stand-in helper: refusing to start it\n",
                     (folder / "regwise-portd").c_str());
        return 1;
    }
    PortLibrary helper;
    PortLibrary sim;
    if (!helper.open(folder / "libregwise-portio.so") || !sim.open(SIM_LIBRARY)) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    if ((helper.start() & 1) != 0 || (sim.start() & 1) != 0) {
        std::fprintf(stderr, "start failed: %s%s\n", helper.error().c_str(), sim.error().c_str());
        return 1;
    }
    // The byte written must come back through the helper's memory.
    if (helper.outB(kPort, 0x5A) != 0 || helper.inpB(kPort) != 0x5A) {
        std::fprintf(stderr, "the stand-in helper did not keep a byte: %s\n",
                     helper.error().c_str());
        return 1;
    }

    volatile int16_t sink = 0;
    const std::vector<double> us =
        measure({[&] { sink = helper.inpB(kPort); }, [&] { sink = sim.inpB(kPort); }}, {100, 10000},
                batches);
    const bool failed = !helper.error().empty();
    helper.stop();
    sim.stop();
    if (failed) {
        std::fprintf(stderr, "an InpB through the helper failed: the measurement is void\n");
        return 1;
    }

    std::printf("one InpB through libregwise-portio.so and its helper, median of %d batches\n",
                batches);
    std::printf("  through the helper %7.2f us   bare InpB (simulated) %7.3f us   x%.0f\n", us[0],
                us[1], us[0] / us[1]);
    std::printf("  target (within %.0f us): %s\n", kGoalUs, us[0] <= kGoalUs ? "met" : "MISSED");
    return 0;
}
