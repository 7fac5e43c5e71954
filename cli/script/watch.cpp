// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script/watch.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/numbers.h"
#include "cli/base/portaccess.h"
#include "cli/base/stoppableclock.h"
#include "cli/script/commandsession.h"
#include "cli/script/transcript.h"

namespace cli {

namespace {

std::string seconds(std::chrono::nanoseconds time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(time).count());
    return text;
}

std::string watchLine(const WatchOptions& options, int32_t value, std::chrono::nanoseconds time) {
    if (options.json) {
        // The seconds to the millisecond, as the text line shows them.
        const double ms = std::round(std::chrono::duration<double, std::milli>(time).count());
        QJsonObject line{{QStringLiteral("seconds"), ms / 1000},
                         {QStringLiteral("port"), QString::fromStdString(hexPort(options.port))},
                         {QStringLiteral("value"), QString::fromStdString(hexByte(value))}};
        if (options.explain) {
            line.insert(
                QStringLiteral("meaning"),
                QString::fromStdString(explanation(options.port, RegisterDirection::Read, value)));
        }
        return QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString();
    }
    std::string line =
        "R " + hexPort(options.port) + " = " + hexByte(value) + "  # " + seconds(time) + " s";
    if (options.explain)
        line += "  # " + explanation(options.port, RegisterDirection::Read, value);
    return line;
}

int watchInSession(PortLibrary& library, const WatchOptions& options, const Console& console,
                   StoppableClock& pacing) {
    const std::chrono::nanoseconds start = pacing.now();
    std::optional<int32_t> shown;
    for (int reads = 1;; ++reads) {
        const std::chrono::nanoseconds readAt = pacing.now() - start;
        const std::optional<int32_t> value = readPort(library, options.port, console);
        if (!value)
            return kExitFailed;
        if (value != shown) {
            shown = value;
            // Flushed line by line: whoever reads the pipe wants the change when it happens.
            if (!console.print(watchLine(options, *value, readAt), true))
                return kExitFailed;
        }
        if (options.count > 0 && reads >= options.count)
            return kExitOk;
        if (!console.readerStillThere())
            return kExitFailed;
        if (!pacing.wait(options.interval))
            return kExitOk;
    }
}

}  // namespace

int watchPort(PortLibrary& library, const WatchOptions& options, const Console& console,
              StoppableClock& pacing) {
    return runFramed(library, console, {}, [&](const FramedSession& session) {
        return watchInSession(session.library, options, console, pacing);
    });
}

}  // namespace cli
