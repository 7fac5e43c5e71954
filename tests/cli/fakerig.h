// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <QString>
#include <QStringList>
#include <csignal>
#include <deque>
#include <sstream>

#include "cli/console.h"
#include "cli/pacing.h"
#include "cli/scriptfile.h"
#include "tests/fakes/fakeportlibrary.h"

// Virtual time: a wait passes at once, adding its length to now(). The wait numbered
// stopAtWait (from 1; 0: none) is cut short by Ctrl-C.
struct FakePacing final : cli::Pacing {
    std::chrono::nanoseconds clock{0};
    int waits = 0;
    int stopAtWait = 0;
    int signal = 0;

    std::chrono::nanoseconds now() override { return clock; }
    bool wait(std::chrono::nanoseconds duration) override {
        if (++waits == stopAtWait)
            signal = SIGINT;
        if (signal != 0)
            return false;
        clock += duration;
        return true;
    }
    int stopSignal() override { return signal; }
};

// A script read from bytes in memory, through the same reader as a file.
inline cli::Script scriptOf(const QByteArray& bytes, const std::string& name,
                            const cli::Reach& reach = {}) {
    const int fd = memfd_create("script", MFD_CLOEXEC);
    if (fd < 0 || write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size() ||
        lseek(fd, 0, SEEK_SET) != 0)
        qFatal("memfd_create failed");
    cli::Script script = cli::readScript(fd, name, reach);
    close(fd);
    return script;
}

// The recording fake port library with a queue of values for its reads, and a console
// that keeps what the program says.
struct FakeRig {
    FakePortLibrary library;
    std::deque<int32_t> reads;  // answered in turn; an empty queue reads 0
    std::ostringstream out;
    std::ostringstream err;
    cli::Console console{out, err, "regwise-io-test"};
    FakePacing pacing;

    FakeRig() {
        library.readValue = [this](int16_t) {
            if (reads.empty())
                return 0;
            const int32_t value = reads.front();
            reads.pop_front();
            return value;
        };
    }

    // The calls so far in one line, e.g. "Start OutB(3FB,83) InpB(3FD) Stop".
    QString calls() const {
        QStringList parts;
        for (const FakePortLibrary::Call& call : library.calls) {
            const QString port = QString::number(call.port, 16).toUpper();
            switch (call.kind) {
                case FakePortLibrary::Call::Start:
                    parts << QStringLiteral("Start");
                    break;
                case FakePortLibrary::Call::Stop:
                    parts << QStringLiteral("Stop");
                    break;
                case FakePortLibrary::Call::InpB:
                    parts << QStringLiteral("InpB(%1)").arg(port);
                    break;
                case FakePortLibrary::Call::OutB:
                    parts << QStringLiteral("OutB(%1,%2)")
                                 .arg(port, QString::number(call.data, 16).toUpper());
                    break;
            }
        }
        return parts.join(QLatin1Char(' '));
    }

    QString stdOut() const { return QString::fromStdString(out.str()); }
    QString stdErr() const { return QString::fromStdString(err.str()); }
};
