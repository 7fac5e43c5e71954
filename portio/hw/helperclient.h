// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <sys/types.h>
#include <sys/uio.h>

#include "portio/ioscm.h"

// The library's side of regwise-portd: spawns the helper over a socketpair, waits for its
// first reply, and sends it one request at a time. Errors come back as text (Japanese, for
// the program's message boxes).
class HelperClient {
public:
    struct Result {
        int value = 0;
        std::string error;  // empty on success
    };

    // helperPlaces: where the helper may lie, by absolute path, best first. Each start runs
    // the first that exists.
    explicit HelperClient(std::vector<std::string> helperPlaces, int timeoutMs = 10000);
    ~HelperClient();
    HelperClient(const HelperClient&) = delete;
    HelperClient& operator=(const HelperClient&) = delete;

    // Starts the helper. A helper that is still running is kept, one that died is
    // replaced. Returns an empty string on success, else why it failed.
    std::string start();
    // Asks the helper to exit and reaps it. Stopping when none runs succeeds.
    std::string stop();

    Result read(int port);
    Result write(int port, int data);
    // A register sequence as one request and one reply; value is the number of steps run,
    // whose results are filled in. The helper checks every step before it runs any.
    Result sequence(std::span<const IOSCM_Step> steps, std::span<IOSCM_StepResult> results);

    bool running() const { return m_fd >= 0; }
    pid_t pid() const { return m_pid; }

private:
    Result request(uint32_t op, int port, int data);
    // Sends one message made of the parts given and receives the reply into the parts given
    // (at most their size); the reply's size, or an error when there was no reply to take.
    Result exchange(std::span<const iovec> message, std::span<const iovec> received);
    bool alive();
    void close(int* exitStatus = nullptr);
    std::string abandon(bool timedOut, int error);
    std::string malformed(ssize_t size);
    std::string spawn();
    std::string launch(int helperEnd);

    std::vector<std::string> m_helperPlaces;
    std::string m_helperPath;  // the one last started
    int m_timeoutMs;
    int m_fd = -1;
    pid_t m_pid = -1;
};
