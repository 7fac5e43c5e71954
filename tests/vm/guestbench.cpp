// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Not a test: the cost of one InpB through the installed libregwise-portio.so and its helper
// on QEMU's emulated 16550, against the simulated library's bare InpB in the same guest, as
// medians. Refuses to run anywhere but inside the rig's guest.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/vm/guestlibrary.h"

namespace {

int64_t medianNs(const IoscmExports& ports, int16_t port, int count) {
    std::vector<int64_t> times;
    times.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        ports.inpB(port);
        const auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
    }
    std::nth_element(times.begin(), times.begin() + count / 2, times.end());
    return times[static_cast<size_t>(count / 2)];
}

}  // namespace

int main(int argc, char** argv) {
    if (!onRig()) {
        std::fputs("regwise-rig-bench: refusing to run outside the Regwise QEMU rig\n", stderr);
        return 2;
    }
    const std::string folder = argc > 1 ? argv[1] : "/usr/lib/regwise";
    GuestLibrary hw;
    GuestLibrary sim;
    if (!hw.open(folder + "/libregwise-portio.so") ||
        !sim.open(folder + "/libregwise-portio-sim.so")) {
        std::printf("RW| FAIL cannot load the libraries: %s%s\n", hw.library.error().c_str(),
                    sim.library.error().c_str());
        return 1;
    }
    const int count = 2000;
    if ((hw.start() & 1) != 0 || (sim.start() & 1) != 0) {
        std::printf("RW| FAIL start: %s%s\n", hw.error().c_str(), sim.error().c_str());
        return 1;
    }
    const int64_t real = medianNs(hw, 0x3FF, count);
    const int64_t model = medianNs(sim, 0x3FF, count);
    hw.stop();
    sim.stop();
    std::printf(
        "RW| BENCH InpB median over %d calls: helper %lld ns, simulated %lld ns, ratio %.1f\n",
        count, static_cast<long long>(real), static_cast<long long>(model),
        model > 0 ? double(real) / double(model) : 0.0);
    return 0;
}
