// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "portio/portlibrary.h"

// A port library that records every call. It answers from settable results, or passes each
// call on to a real library (forwardTo) and records what that one answered. With a
// sequenceClock it runs sequences as a library with IOSCM_Sequence does, all steps in one
// call, recorded as a Sequence call followed by the accesses it made; else step by step. A
// caller that makes calls without bound (a fuzzer) keeps none and counts them (keepCalls,
// made).
class FakePortLibrary final : public PortLibrary {
public:
    struct Call {
        // Each kind is named after the library function it records, which clang's -Wshadow
        // takes for a clash with ioscm.h's InpB and OutB.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
        enum Kind { Start, Stop, InpB, OutB, Sequence } kind;
#pragma GCC diagnostic pop
        int16_t port = 0;
        int16_t data = 0;   // OutB: the byte; Sequence: the number of steps
        PortCall result{};  // what the call returned; filled in once it has
        // Two calls are alike when they ask the same; what they got is not compared.
        bool operator==(const Call& other) const {
            return kind == other.kind && port == other.port && data == other.data;
        }
    };

    PortCall start() override {
        return record({Call::Start},
                      [this] { return forwardTo ? forwardTo->start() : startResult; });
    }
    PortCall stop() override {
        return record({Call::Stop}, [this] { return forwardTo ? forwardTo->stop() : stopResult; });
    }
    PortCall inpB(int16_t port) override {
        return record({Call::InpB, port}, [this, port] {
            if (forwardTo)
                return forwardTo->inpB(port);
            PortCall result = inpBResult;
            if (result.made && result.error.empty() && readValue)
                result.value = readValue(port);
            return result;
        });
    }
    PortCall outB(int16_t port, int16_t data) override {
        return record({Call::OutB, port, data}, [this, port, data] {
            return forwardTo ? forwardTo->outB(port, data) : outBResult;
        });
    }

    bool runsSequences() override {
        return bool(sequenceClock);
    }
    PortCall sequence(std::span<const IOSCM_Step> steps,
                      std::span<IOSCM_StepResult> results) override {
        if (!sequenceClock)
            return PortLibrary::sequence(steps, results);
        const Call call{Call::Sequence, 0, static_cast<int16_t>(steps.size())};
        ++made;
        const std::size_t at = calls.size();
        if (keepCalls)
            calls.push_back(call);
        if (onCall)
            onCall(call);
        const PortCall result = PortLibrary::sequence(steps, results);
        if (keepCalls)
            calls[at].result = result;
        return result;
    }

    // Called at each call before it is made, so a test sees the state at that moment; the
    // call is in calls already (if kept), without its result.
    std::function<void(const Call&)> onCall;
    std::function<int32_t(int16_t port)> readValue;  // what InpB returns; inpBResult.value if unset
    PortLibrary* forwardTo = nullptr;
    // The clock sequences run on, in nanoseconds, and how time passes to a given one on it.
    std::function<int64_t()> sequenceClock;
    std::function<void(int64_t)> sequenceWait;

    PortCall startResult{true, 0, {}};
    PortCall stopResult{true, 0, {}};
    PortCall inpBResult{true, 0, {}};
    PortCall outBResult{true, 0, {}};
    std::vector<Call> calls;
    bool keepCalls = true;  // false: calls stays empty, only made counts
    std::size_t made = 0;   // every call so far, kept or not

protected:
    int64_t stepClock() override {
        return sequenceClock ? sequenceClock() : PortLibrary::stepClock();
    }
    void stepWaitUntil(int64_t ns) override {
        if (sequenceWait)
            sequenceWait(ns);
        else
            PortLibrary::stepWaitUntil(ns);
    }

private:
    PortCall record(const Call& call, const std::function<PortCall()>& answer) {
        ++made;
        if (keepCalls)
            calls.push_back(call);
        if (onCall)
            onCall(call);
        const PortCall result = answer();
        if (keepCalls)
            calls.back().result = result;
        return result;
    }
};
