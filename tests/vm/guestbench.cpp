// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Not a test: the cost of one InpB through the installed libregwise-portio.so and its helper
// on QEMU's emulated 16550, against the simulated library's bare InpB in the same guest, as
// medians; and 1,000 writes as one register sequence through the helper against what they
// must cost at least: one bare round trip between two processes with messages of the
// sequence's sizes, and the 1,000 writes made bare. Refuses to run anywhere but inside the
// rig's guest, the only machine whose ports it may touch itself.

#include <fcntl.h>
#include <poll.h>
#include <sys/io.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "portio/hw/portdprotocol.h"
#include "tests/vm/guestlibrary.h"

namespace {

constexpr int16_t kScratch = 0x3FF;  // COM1's scratch register
constexpr std::size_t kWrites = 1000;

// Two processes and a SOCK_SEQPACKET socketpair: the other answers each message with one of
// the reply's size for a sequence of kWrites steps, and does nothing else.
class BareRoundTrip {
public:
    BareRoundTrip() {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            // Only calls that are safe after a fork: the buffers were made before it.
            close(ends[0]);
            while (recv(ends[1], m_request.data(), m_request.size(), 0) > 0)
                send(ends[1], m_reply.data(), m_reply.size() - 1, MSG_NOSIGNAL);
            _exit(0);
        }
        close(ends[1]);
        m_fd = m_pid > 0 ? ends[0] : -1;
        if (m_fd < 0)
            close(ends[0]);
    }
    ~BareRoundTrip() {
        if (m_fd >= 0)
            close(m_fd);  // the other process sees its end close and exits
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
    }
    bool open() const { return m_fd >= 0; }
    // One request of the sequence's size and its reply, as the library sends and takes them.
    bool trip() {
        pollfd wait{m_fd, POLLIN, 0};
        return send(m_fd, m_request.data(), m_request.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(m_request.size()) &&
               poll(&wait, 1, 10000) == 1 &&
               recv(m_fd, m_reply.data(), m_reply.size(), 0) ==
                   static_cast<ssize_t>(m_reply.size() - 1);
    }

private:
    int m_fd = -1;
    pid_t m_pid = -1;
    std::vector<unsigned char> m_request =
        std::vector<unsigned char>(portd::sequenceRequestSize(kWrites));
    std::vector<unsigned char> m_reply =
        std::vector<unsigned char>(portd::sequenceReplySize(kWrites) + 1);
};

// The median time of body, in nanoseconds, over runs calls.
int64_t medianOf(const std::function<void()>& body, int runs) {
    std::vector<int64_t> times;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        body();
        const auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[static_cast<std::size_t>(runs / 2)];
}

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
    // A register sequence of 1,000 reads through the helper: one round trip for all of them.
    const std::vector<IOSCM_Step> reads(1000, IOSCM_Step{IOSCM_STEP_READ, kScratch, 0, 0, 0, 0});
    std::vector<IOSCM_StepResult> results(kWrites);
    bool failed = false;
    const auto run = [&hw, &results, &failed](const std::vector<IOSCM_Step>& steps) {
        failed = failed || hw.sequence(steps.data(), int32_t(steps.size()), results.data()) !=
                               int32_t(steps.size());
    };
    const int64_t sequence = medianOf([&] { run(reads); }, 51);
    // 1,000 writes of the scratch register, which is put back after, through the helper and
    // bare. The rounds take turns, so that the machine's load moves both alike.
    const int scratch = hw.inpB(kScratch);
    std::vector<IOSCM_Step> writes;
    for (std::size_t i = 0; i < kWrites; ++i)
        writes.push_back({IOSCM_STEP_WRITE, kScratch, uint8_t(i), 0, 0, 0});
    BareRoundTrip bare;
    if (failed || scratch < 0 || !bare.open() || ioperm(kScratch, 1, 1) != 0) {
        std::printf("RW| FAIL sequence: %s\n", hw.error().c_str());
        return 1;
    }
    const auto bareWrites = [] {
        for (std::size_t i = 0; i < kWrites; ++i)
            outb(static_cast<unsigned char>(i), kScratch);
    };
    std::vector<int64_t> helper, floor, trips, bareOnly;
    for (int round = 0; round < 51; ++round) {
        helper.push_back(medianOf([&] { run(writes); }, 5));
        floor.push_back(medianOf(
            [&] {
                failed = failed || !bare.trip();
                bareWrites();
            },
            5));
        trips.push_back(medianOf([&] { failed = failed || !bare.trip(); }, 5));
        bareOnly.push_back(medianOf(bareWrites, 5));
    }
    hw.outB(kScratch, static_cast<int16_t>(scratch));
    for (std::vector<int64_t>* times : {&helper, &floor, &trips, &bareOnly})
        std::nth_element(times->begin(), times->begin() + 25, times->end());
    if (failed) {
        std::printf("RW| FAIL sequence: %s\n", hw.error().c_str());
        return 1;
    }
    hw.stop();
    sim.stop();
    std::printf(
        "RW| BENCH InpB median over %d calls: helper %lld ns, simulated %lld ns, ratio %.1f\n",
        count, static_cast<long long>(real), static_cast<long long>(model),
        model > 0 ? double(real) / double(model) : 0.0);
    std::printf(
        "RW| BENCH 1000 reads as one sequence through the helper, median of 51: %lld ns, %lld ns "
        "a read against %lld ns for an InpB\n",
        static_cast<long long>(sequence), static_cast<long long>(sequence / 1000),
        static_cast<long long>(real));
    std::printf(
        "RW| BENCH 1000 writes as one sequence through the helper, median of 51 rounds: %lld ns "
        "against %lld ns for one bare round trip of its sizes and 1000 bare writes, ratio %.2f\n",
        static_cast<long long>(helper[25]), static_cast<long long>(floor[25]),
        floor[25] > 0 ? double(helper[25]) / double(floor[25]) : 0.0);
    std::printf("RW| BENCH of which the round trip alone %lld ns, the bare writes alone %lld ns\n",
                static_cast<long long>(trips[25]), static_cast<long long>(bareOnly[25]));
    return 0;
}
