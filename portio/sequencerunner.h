// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// How a register sequence (IOSCM_Sequence) is checked and run, written once for every place
// that runs one: the simulated library, the real-port helper, and programs whose library
// lacks the export (PortLibrary's step-by-step fallback). The caller supplies the port
// access, its clock and its own rule for which ports it reaches.
//
// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh).

#pragma once

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "portio/ioscm.h"

namespace sequencerunner {

// What keeps a sequence from running, found before any step runs.
struct Refused {
    enum Reason {
        TooManySteps,  // more than IOSCM_SEQUENCE_MAX_STEPS
        UnknownKind,   // step: its kind is none of IOSCM_StepKind
        OutOfReach,    // step: its port may not be touched
        TooLong,       // the POLL and WAIT limits add up to more than IOSCM_SEQUENCE_MAX_NS
    };
    Reason reason;
    std::size_t step = 0;  // UnknownKind, OutOfReach: the step, from 0
};

// The first fault of a sequence, in step order, or nullopt when it may run. reaches(port)
// tells whether a port may be touched at all.
template <typename Reaches>
std::optional<Refused> check(std::span<const IOSCM_Step> steps, Reaches reaches) {
    if (steps.size() > IOSCM_SEQUENCE_MAX_STEPS)
        return Refused{Refused::TooManySteps};
    uint64_t total = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const IOSCM_Step& step = steps[i];
        // Reads and writes, most steps of most sequences, first.
        if (step.kind == IOSCM_STEP_READ || step.kind == IOSCM_STEP_WRITE) {
            if (!reaches(step.port))
                return Refused{Refused::OutOfReach, i};
            continue;
        }
        switch (step.kind) {
            case IOSCM_STEP_POLL:
                if (!reaches(step.port))
                    return Refused{Refused::OutOfReach, i};
                total += step.ns;
                break;
            case IOSCM_STEP_WAIT:
                total += step.ns;
                break;
            default:
                return Refused{Refused::UnknownKind, i};
        }
    }
    if (total > IOSCM_SEQUENCE_MAX_NS)
        return Refused{Refused::TooLong};
    return std::nullopt;
}

// Why a sequence is refused, for a person: one sentence that ends by saying nothing was
// touched.
inline std::string refusalText(std::span<const IOSCM_Step> steps, const Refused& refused) {
    const std::string untouched = "何も読み書きしていません。";
    const std::string where = "レジスタ列の " + std::to_string(refused.step + 1) + " 番目の手順";
    switch (refused.reason) {
        case Refused::TooManySteps:
            return "レジスタ列の手順が " + std::to_string(steps.size()) + " 個あります。一度に " +
                   std::to_string(IOSCM_SEQUENCE_MAX_STEPS) + " 個までです。" + untouched;
        case Refused::UnknownKind:
            return where + "の種類（" + std::to_string(steps[refused.step].kind) +
                   "）は知りません。" + untouched;
        case Refused::OutOfReach:
            return where + "のポートは、読み書きできる範囲の外です。" + untouched;
        case Refused::TooLong:
            break;
    }
    return "レジスタ列の待ち時間が合わせて 1 秒を超えます。" + untouched;
}

// Why a sequence is refused before any step runs, or nullopt when it may run.
template <typename Reaches>
std::optional<std::string> refusal(std::span<const IOSCM_Step> steps, Reaches reaches) {
    if (const std::optional<Refused> refused = check(steps, reaches))
        return refusalText(steps, *refused);
    return std::nullopt;
}

// Why an IOSCM_Sequence call is refused whatever the library reaches (its arguments, a kind,
// a bound), or nullopt when its steps may be checked port by port and run.
inline std::optional<std::string> callRefusal(const IOSCM_Step* steps, int32_t count,
                                              const IOSCM_StepResult* results) {
    if (count < 0 || (count > 0 && (steps == nullptr || results == nullptr)))
        return std::string(
            "レジスタ列の手順の数か場所が正しくありません。何も読み書きしていません。");
    return refusal(std::span(steps, static_cast<std::size_t>(count)), [](int16_t) { return true; });
}

// Runs checked steps in order. The caller's io supplies:
//   std::optional<uint8_t> read(int16_t port)   nullopt: the read failed (error set)
//   bool write(int16_t port, uint8_t data)       false: the write failed (error set)
//   int64_t now()                                CLOCK_MONOTONIC in nanoseconds
//   void waitUntil(int64_t ns)                   lets time pass, touching nothing
// and may supply
//   void pause(int64_t latest)                   between a POLL's reads, lets a little time
//                                                pass if the next read may still begin by
//                                                latest (else the reads follow at once)
// Reads and writes that follow each other are timed together, the clock read once before
// the first and once after the last (a clock read can cost as much as tens of accesses of
// memory): each of their results holds those two times. One flagged IOSCM_STEP_TIMED reads the
// clock just after it, and holds that time and the clock read before it.
// Returns the number of steps run; fewer than steps.size() when an access failed.
template <typename Io>
int32_t run(std::span<const IOSCM_Step> steps, std::span<IOSCM_StepResult> results, Io& io) {
    for (std::size_t i = 0; i < steps.size();) {
        const IOSCM_Step& step = steps[i];
        IOSCM_StepResult& result = results[i];
        if (step.kind == IOSCM_STEP_READ || step.kind == IOSCM_STEP_WRITE) {
            const int64_t start = io.now();
            int64_t last = start;  // the latest clock read
            std::size_t end = i;
            bool failed = false;
            bool endsTimed = false;  // the last access was timed: last is just after it
            for (; end < steps.size() && !failed; ++end) {
                const IOSCM_Step& access = steps[end];
                IOSCM_StepResult& done = results[end];
                if (access.kind == IOSCM_STEP_READ) {
                    done = IOSCM_StepResult{};
                    const std::optional<uint8_t> value = io.read(access.port);
                    failed = !value;
                    if (value) {
                        done.reads = 1;
                        done.value = done.seen = *value;
                    }
                } else if (access.kind == IOSCM_STEP_WRITE) {
                    done = IOSCM_StepResult{};
                    failed = !io.write(access.port, access.data);
                } else {
                    break;
                }
                endsTimed = (access.flags & IOSCM_STEP_TIMED) != 0;
                if (endsTimed) {
                    done.start_ns = last;
                    done.end_ns = last = io.now();
                }
            }
            const int64_t stop = endsTimed ? last : io.now();
            for (std::size_t k = i; k < end; ++k) {
                if ((steps[k].flags & IOSCM_STEP_TIMED) == 0) {
                    results[k].start_ns = start;
                    results[k].end_ns = stop;
                }
            }
            if (failed)
                return static_cast<int32_t>(end - 1);
            i = end;
            continue;
        }
        result = IOSCM_StepResult{};
        result.start_ns = io.now();
        switch (step.kind) {
            case IOSCM_STEP_POLL: {
                const int64_t deadline = result.start_ns + static_cast<int64_t>(step.ns);
                std::bitset<256> known;
                int64_t quickest = INT64_MAX;  // the quickest read so far: no read may end late
                for (;;) {
                    const int64_t before = io.now();
                    const std::optional<uint8_t> value = io.read(step.port);
                    const int64_t after = io.now();
                    result.end_ns = after;
                    if (!value)
                        return static_cast<int32_t>(i);
                    // A read much longer than the quickest before it was paused.
                    const bool paused = quickest != INT64_MAX && after - before > 2 * quickest;
                    quickest = std::min(quickest, after - before);
                    ++result.reads;
                    result.value = *value;
                    result.seen |= *value;
                    if (!known.test(*value)) {
                        known.set(*value);
                        if (result.distinct_count < sizeof result.distinct)
                            result.distinct[result.distinct_count] = *value;
                        if (result.distinct_count < 255)
                            ++result.distinct_count;
                    }
                    if (((*value ^ step.data) & step.mask) == 0) {
                        result.met = 1;
                        break;
                    }
                    // A read that began past the limit was the one last read, and has decided.
                    if (before > deadline)
                        break;
                    // One that began in time but was paused past the limit, before it read or
                    // after, left time up to the limit unwatched: one last read decides. A read
                    // that is merely slow gets none, and none is planned to end past the limit.
                    if (after > deadline ? !paused : after + quickest > deadline)
                        break;
                    if constexpr (requires { io.pause(int64_t{}); })
                        io.pause(deadline - quickest);
                }
                break;
            }
            case IOSCM_STEP_WAIT:
                io.waitUntil(result.start_ns + static_cast<int64_t>(step.ns));
                result.end_ns = io.now();
                break;
            default:
                return static_cast<int32_t>(i);
        }
        ++i;
    }
    return static_cast<int32_t>(steps.size());
}

}  // namespace sequencerunner
