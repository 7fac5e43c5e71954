// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script/commandsession.h"

#include <algorithm>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/portaccess.h"
#include "cli/base/portowners.h"
#include "cli/script/tracinglibrary.h"

namespace cli {

int runFramed(PortLibrary& library, const Console& console, const SessionFrame& frame,
              const std::function<int(const FramedSession&)>& work) {
    KernelPorts kernel;
    if (frame.owners != nullptr) {
        kernel = checkKernelPorts(*frame.owners, frame.bases, frame.force, console);
        if (kernel.refused)
            return kExitUsage;
    }
    TracingLibrary traced(library, console.err);
    PortLibrary& used = frame.trace ? static_cast<PortLibrary&>(traced) : library;
    if (frame.jsonArray)
        console.out << '[';
    int status = withSession(used, console, [&] { return work({used, kernel.ttys}); });
    if (frame.jsonArray && !console.print("]"))
        status = std::max(status, kExitFailed);
    // Output that could not be written is a failure too (a full disk, a closed pipe).
    if (!console.flushed())
        status = std::max(status, kExitFailed);
    return status;
}

std::string stopRequest(int signal) {
    return "中断の要求（シグナル " + std::to_string(signal) + "）";
}

int stoppedBySignal(const Console& console, int signal) {
    console.message(stopRequest(signal) + "を受けたため、途中で終えました。");
    return exitStopped(signal);
}

}  // namespace cli
