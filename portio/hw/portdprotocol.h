// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

// The messages between libregwise-portio.so and its helper regwise-portd, over an
// AF_UNIX SOCK_SEQPACKET socketpair (the helper's end is its fd 3). Both ends are built
// from the same tree, so the layout is native; a message of any other size than its op's is
// malformed.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "portio/ioscm.h"

namespace portd {

// The helper's end of the socketpair inside the helper process.
inline constexpr int kSocketFd = 3;

// Only the ports of the four COM windows and of the kernel's other port-I/O UARTs, as the
// helper read them at start (kernelports::PortWindows), are ever touched.

enum Op : uint32_t {
    OpRead = 1,      // read the byte at port
    OpWrite = 2,     // write data (0...255) to port
    OpStop = 3,      // reply, then exit
    OpSequence = 4,  // a register sequence: a SequenceRequest, whose reply is a SequenceReply
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

// A register sequence (ioscm.h's IOSCM_Sequence) in one message: this header, then exactly
// count steps. The helper checks every step before it runs any, so it runs all of them or
// none.
struct SequenceRequest {
    uint32_t op = OpSequence;
    int32_t count = 0;  // 0 ... IOSCM_SEQUENCE_MAX_STEPS
};

// Its reply: a Reply, then, when the status is StatusOk, exactly count results, value being
// the number of steps run (count). A refused sequence has the Reply alone: StatusRefused when
// a step's port lies outside the windows (value: that step, from 0), StatusBadRequest for a
// malformed message, an unknown kind, too many steps or too long a wait (value: the step, or
// -1 for the whole sequence).
inline constexpr std::size_t sequenceRequestSize(std::size_t count) {
    return sizeof(SequenceRequest) + count * sizeof(IOSCM_Step);
}
inline constexpr std::size_t sequenceReplySize(std::size_t count) {
    return sizeof(Reply) + count * sizeof(IOSCM_StepResult);
}
inline constexpr std::size_t kLongestRequest = sequenceRequestSize(IOSCM_SEQUENCE_MAX_STEPS);
inline constexpr std::size_t kLongestReply = sequenceReplySize(IOSCM_SEQUENCE_MAX_STEPS);

static_assert(sizeof(SequenceRequest) == 8 && sizeof(IOSCM_Step) == 12 &&
              sizeof(IOSCM_StepResult) == 32);
static_assert(sizeof(Reply) % alignof(IOSCM_StepResult) == 0);
// A socket's default send buffer (212992 bytes on Linux) holds the longest message whole.
static_assert(kLongestReply < 200000);

}  // namespace portd
