// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

// The messages between libregwise-portio.so and its helper regwise-portd, over an
// AF_UNIX SOCK_SEQPACKET socketpair (the helper's end is its fd 3). Both ends are built
// from the same tree, so the layout is native and fixed-size; a message of any other
// size is malformed.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace portd {

// The helper's end of the socketpair inside the helper process.
inline constexpr int kSocketFd = 3;

// Only the ports of the four COM windows and of the kernel's other port-I/O UARTs, as the
// helper read them at start (kernelports::PortWindows), are ever touched.

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
    StatusOk = 0,              // first reply: ready; later: done, value holds the byte read
    StatusRefused = 1,         // port outside the windows; nothing touched
    StatusBadRequest = 2,      // malformed message; nothing touched
    StatusNoCapability = 3,    // first reply: ioperm refused without CAP_SYS_RAWIO; value =
                               // the NoCapabilityCause bits that kept the file capability out
    StatusLockdown = 4,        // first reply: ioperm refused under kernel lockdown; text = mode
    StatusStartFailed = 5,     // first reply: ioperm failed otherwise; value = errno
    StatusExecFailed = 6,      // never sent: the library's own for a failed exec; value = errno
    StatusKernelRefused = 7,   // first reply: ioperm refused although CAP_SYS_RAWIO was held
    StatusDropFailed = 8,      // first reply: giving up the privileges failed; value = errno
    StatusPrivilegesLeft = 9,  // first reply: a capability outlived giving them up
};

// Why a file capability on the helper did not take effect, as bits.
enum NoCapabilityCause : int32_t {
    CauseNoNewPrivs = 1,  // started with no_new_privs already set
    CauseTraced = 2,      // started under a tracer
    CauseNosuid = 4,      // the helper lies on a nosuid mount
};

struct Reply {
    int32_t status = StatusOk;
    int32_t value = 0;
    char text[120] = {};

    void setText(const char* s) {
        std::strncpy(text, s, sizeof text - 1);
        text[sizeof text - 1] = '\0';
    }
    // The text as sent, never read past the field: the other end may not have ended it.
    std::string_view message() const { return {text, strnlen(text, sizeof text)}; }
};

static_assert(sizeof(Request) == 12);
static_assert(sizeof(Reply) == 128);

}  // namespace portd
