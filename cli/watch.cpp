// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/watch.h"

#include <optional>

#include "cli/console.h"
#include "cli/exitstatus.h"
#include "cli/portaccess.h"
#include "cli/transcript.h"

namespace cli {

namespace {

int watchInSession(PortLibrary& library, const WatchOptions& options, const Console& console,
                   const WatchWait& wait) {
    std::optional<int32_t> shown;
    int lines = 0;
    for (;;) {
        const std::optional<int32_t> value = readPort(library, options.port, console);
        if (!value)
            return kExitFailed;
        if (value != shown) {
            shown = value;
            // Flushed line by line: whoever reads the pipe wants the change when it happens.
            if (!(console.out << readLine(options.port, *value, options.explain) << std::endl)) {
                console.message("標準出力に書き込めませんでした。");
                return kExitFailed;
            }
            if (options.count > 0 && ++lines >= options.count)
                return kExitOk;
        }
        if (!wait(options.interval))
            return kExitOk;
    }
}

}  // namespace

int watchPort(PortLibrary& library, const WatchOptions& options, const Console& console,
              const WatchWait& wait) {
    return withSession(library, console,
                       [&] { return watchInSession(library, options, console, wait); });
}

}  // namespace cli
