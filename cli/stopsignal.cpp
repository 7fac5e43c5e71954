// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/stopsignal.h"

#include <algorithm>
#include <csignal>
#include <ctime>
#include <initializer_list>

namespace cli {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void requestStop(int) {
    g_stopRequested = 1;
}

// A signal that lands between the check and the sleep is seen at the end of the slice, so
// slices stay short.
constexpr std::chrono::milliseconds kLongestSlice{50};

}  // namespace

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the signal cuts the sleep short
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool sleepUnlessStopped(std::chrono::milliseconds interval) {
    while (g_stopRequested == 0 && interval.count() > 0) {
        const std::chrono::milliseconds slice = std::min(interval, kLongestSlice);
        interval -= slice;
        const timespec duration{static_cast<time_t>(slice.count() / 1000),
                                static_cast<long>(slice.count() % 1000) * 1000000L};
        nanosleep(&duration, nullptr);  // an interruption ends the slice early, which is fine
    }
    return g_stopRequested == 0;
}

}  // namespace cli
