#pragma once

#include <cstdint>
#include <string>

#include <sys/types.h>

// The library's side of regwise-portd: spawns the helper over a socketpair, waits for its
// first reply, and sends it one request at a time. Errors come back as text (Japanese, for
// the program's message boxes).
class HelperClient {
public:
    struct Result {
        int value = 0;
        std::string error;  // empty on success
    };

    // helperPath: the helper's absolute path; empty when it could not be found.
    explicit HelperClient(std::string helperPath, int timeoutMs = 10000);
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

    bool running() const { return m_fd >= 0; }
    pid_t pid() const { return m_pid; }

private:
    Result request(uint32_t op, int port, int data);
    bool alive();
    void close(int* exitStatus = nullptr);
    std::string spawn();

    std::string m_helperPath;
    int m_timeoutMs;
    int m_fd = -1;
    pid_t m_pid = -1;
};
