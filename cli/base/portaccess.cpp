// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/portaccess.h"

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "portio/portlibrary.h"
#include "portio/sessionoutcome.h"

namespace cli {

int withSession(PortLibrary& library, const Console& console, const std::function<int()>& body) {
    const PortCall start = library.start();
    if (!session::started(start)) {
        console.message(session::kStartFailed, start.error);
        return kExitFailed;
    }
    int status = body();
    const PortCall stop = library.stop();
    if (!session::stopped(stop)) {
        console.message(session::kStopFailed, stop.error);
        if (status == kExitOk)
            status = kExitFailed;
    }
    return status;
}

std::optional<int32_t> readPort(PortLibrary& library, int32_t port, const Console& console) {
    const PortCall call = library.inpB(static_cast<int16_t>(port));
    if (call.failed()) {
        tellReadFailed(port, call.error, console);
        return std::nullopt;
    }
    return call.value & 0xFF;
}

void tellReadFailed(int32_t port, const std::string& reason, const Console& console) {
    console.message(session::readFailed(static_cast<uint16_t>(port)), reason);
}

void tellWriteFailed(int32_t port, int32_t value, const std::string& reason,
                     const Console& console) {
    console.message(session::writeFailed(static_cast<uint16_t>(port), value & 0xFF), reason);
}

bool writePort(PortLibrary& library, int32_t port, int32_t value, const Console& console) {
    const auto data = static_cast<int16_t>(value & 0xFF);
    const PortCall call = library.outB(static_cast<int16_t>(port), data);
    if (call.failed()) {
        tellWriteFailed(port, value, call.error, console);
        return false;
    }
    return true;
}

}  // namespace cli
