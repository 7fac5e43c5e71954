// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/watch.h"

#include <optional>

#include "cli/console.h"
#include "cli/exitstatus.h"
#include "cli/pacing.h"
#include "cli/portaccess.h"
#include "cli/transcript.h"

namespace cli {

namespace {

int watchInSession(PortLibrary& library, const WatchOptions& options, const Console& console,
                   Pacing& pacing) {
    const Statement read{Statement::Kind::Read, options.port, 0, false, 0};
    std::optional<int32_t> shown;
    for (int reads = 1;; ++reads) {
        const std::optional<int32_t> value = readPort(library, options.port, console);
        if (!value)
            return kExitFailed;
        if (value != shown) {
            shown = value;
            // Flushed line by line: whoever reads the pipe wants the change when it happens.
            if (!console.print(readLine(read, *value, options.explain), true))
                return kExitFailed;
        }
        if (options.count > 0 && reads >= options.count)
            return kExitOk;
        if (!pacing.wait(options.interval))
            return kExitOk;
    }
}

}  // namespace

int watchPort(PortLibrary& library, const WatchOptions& options, const Console& console,
              Pacing& pacing) {
    return withSession(library, console,
                       [&] { return watchInSession(library, options, console, pacing); });
}

}  // namespace cli
