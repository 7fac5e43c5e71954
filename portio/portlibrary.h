// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "portio/sequencerunner.h"

// The outcome of one call into the port I/O library.
struct PortCall {
    bool made = false;  // false: the library or the function could not be loaded; nothing ran
    int32_t value = 0;  // the function's result, when made
    std::string error;  // the loader's reason when not made, else the library's last error
                        // right after the call (empty when it reported none)

    bool failed() const { return !made || !error.empty(); }
};

// The port I/O library as the program uses it: the four functions the window calls, and the
// register sequences of the command line. ModIOSCMdef is the real one; tests use recording
// fakes.
class PortLibrary {
public:
    virtual ~PortLibrary() = default;
    virtual PortCall start() = 0;                           // IOSCM_Start
    virtual PortCall stop() = 0;                            // IOSCM_Stop
    virtual PortCall inpB(int16_t port) = 0;                // InpB
    virtual PortCall outB(int16_t port, int16_t data) = 0;  // OutB

    // Whether sequence() runs a sequence in the library, all of it in one call, rather than
    // step by step here. A caller that honours a stop request between accesses gives this
    // fallback single steps only.
    virtual bool runsSequences() { return false; }

    // IOSCM_Sequence: value is the number of steps run. This fallback runs the steps one
    // call at a time through inpB and outB, timed by stepClock; it serves fakes, which have no
    // export to call. It cannot refuse a bad port before the first step: an access outside
    // the reach fails when it comes.
    virtual PortCall sequence(std::span<const IOSCM_Step> steps,
                              std::span<IOSCM_StepResult> results) {
        PortCall call;
        call.made = true;
        if (const std::optional<std::string> refused =
                sequencerunner::refusal(steps, [](int16_t) { return true; })) {
            call.error = *refused;
            return call;
        }
        StepByStep io{*this, call.error};
        call.value = sequencerunner::run(steps, results.first(steps.size()), io);
        return call;
    }

    // The fallback's time, in nanoseconds: the program's steady clock, unless a fake keeps
    // time of its own; and what it is told after each access it made. Public so that a
    // library wrapped in another (a trace) keeps its time.
    virtual int64_t stepClock() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    virtual void stepWaitUntil(int64_t ns) {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns)));
    }
    virtual void stepMade() {}

private:
    struct StepByStep {
        PortLibrary& library;
        std::string& error;
        std::optional<uint8_t> read(int16_t port) {
            const PortCall call = library.inpB(port);
            library.stepMade();
            if (call.failed()) {
                error = call.error;
                return std::nullopt;
            }
            return static_cast<uint8_t>(call.value & 0xFF);
        }
        bool write(int16_t port, uint8_t data) {
            const PortCall call = library.outB(port, data);
            library.stepMade();
            if (call.failed())
                error = call.error;
            return !call.failed();
        }
        int64_t now() { return library.stepClock(); }
        void waitUntil(int64_t ns) { library.stepWaitUntil(ns); }
    };
};
