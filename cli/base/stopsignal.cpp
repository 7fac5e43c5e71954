// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/stopsignal.h"

#include <algorithm>
#include <csignal>
#include <ctime>
#include <initializer_list>

namespace cli {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void requestStop(int number) {
    g_stopSignal = number;
}

// A signal that lands between the check and the sleep is seen at the end of the slice, so
// slices stay short.
constexpr std::chrono::nanoseconds kLongestSlice = std::chrono::milliseconds(50);

class SystemClock final : public StoppableClock {
public:
    std::chrono::nanoseconds now() override {
        return std::chrono::steady_clock::now().time_since_epoch();
    }

    bool wait(std::chrono::nanoseconds duration) override {
        while (g_stopSignal == 0 && duration.count() > 0) {
            const std::chrono::nanoseconds slice = std::min(duration, kLongestSlice);
            duration -= slice;
            const timespec pause{static_cast<time_t>(slice.count() / 1000000000),
                                 static_cast<long>(slice.count() % 1000000000)};
            nanosleep(&pause, nullptr);  // an interruption ends the slice early, which is fine
        }
        return g_stopSignal == 0;
    }

    int stopSignal() override { return g_stopSignal; }
};

}  // namespace

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the signal cuts a sleep short
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        // One the program was started with ignored (nohup's SIGHUP, a shell's SIGINT and
        // SIGQUIT for a background job) stays ignored: whoever started it asked for that.
        struct sigaction before {};
        if (sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(number, &action, nullptr);
    }
}

StoppableClock& systemClock() {
    static SystemClock pacing;
    return pacing;
}

}  // namespace cli
