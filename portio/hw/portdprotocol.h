#pragma once

// The messages between libregwise-portio.so and its helper regwise-portd, over an
// AF_UNIX SOCK_SEQPACKET socketpair (the helper's end is its fd 3). Both ends are built
// from the same tree, so the layout is native and fixed-size; a message of any other
// size is malformed.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace portd {

// The helper's end of the socketpair inside the helper process.
inline constexpr int kSocketFd = 3;

// The four COM port windows: 8 ports from each base. Nothing else is ever touched.
inline constexpr uint16_t kWindowBases[] = {0x2E8, 0x2F8, 0x3E8, 0x3F8};
inline constexpr int kWindowSize = 8;

constexpr bool portAllowed(int32_t port) {
    for (uint16_t base : kWindowBases) {
        if (port >= base && port < base + kWindowSize)
            return true;
    }
    return false;
}

enum Op : uint32_t {
    OpRead = 1,   // read the byte at port
    OpWrite = 2,  // write data (0...255) to port
    OpStop = 3,   // reply, then exit
};

struct Request {
    uint32_t op = 0;
    int32_t port = 0;
    int32_t data = 0;
};

enum Status : int32_t {
    StatusOk = 0,            // first reply: ready; later: done, value holds the byte read
    StatusRefused = 1,       // port outside the windows; nothing touched
    StatusBadRequest = 2,    // malformed message; nothing touched
    StatusNotPermitted = 3,  // first reply: ioperm refused (EPERM) without lockdown
    StatusLockdown = 4,      // first reply: ioperm refused by kernel lockdown; text = mode
    StatusStartFailed = 5,   // first reply: any other reason; text says which
    StatusExecFailed = 6,    // sent by the spawning child when exec fails; value = errno
};

struct Reply {
    int32_t status = StatusOk;
    int32_t value = 0;
    char text[120] = {};

    void setText(const char* s) {
        std::strncpy(text, s, sizeof text - 1);
        text[sizeof text - 1] = '\0';
    }
};

static_assert(sizeof(Request) == 12);
static_assert(sizeof(Reply) == 128);

}  // namespace portd
