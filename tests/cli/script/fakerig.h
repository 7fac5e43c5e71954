// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <QString>
#include <QStringList>
#include <csignal>
#include <deque>
#include <functional>
#include <sstream>

#include "cli/base/console.h"
#include "cli/script/scriptfile.h"
#include "tests/fakes/fakeportlibrary.h"
#include "tests/fakes/virtualstoppableclock.h"

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

// A string that knows how much of itself was flushed: what a person reading the pipe has
// seen so far.
struct FlushedStringBuf final : std::stringbuf {
    std::size_t flushedSize = 0;
    int sync() override {
        flushedSize = str().size();
        return 0;
    }
};

// The recording fake port library with a queue of values for its reads, and a console
// that keeps what the program says.
struct FakeRig {
    FakePortLibrary library;
    std::deque<int32_t> reads;             // answered in turn; an empty queue reads 0
    std::chrono::nanoseconds readCost{0};  // virtual time each read takes
    int stopAtRead = 0;                    // the read (from 1; 0: none) during which Ctrl-C comes
    int readsMade = 0;
    FlushedStringBuf outBuffer;
    std::ostream out{&outBuffer};
    std::ostringstream err;
    cli::Console console{out, err, "regwise-io-test"};
    VirtualStoppableClock pacing;
    QStringList shownAtWaits;  // the transcript flushed when each wait began

    FakeRig() {
        pacing.onWait = [this] {
            shownAtWaits << QString::fromStdString(
                outBuffer.str().substr(0, outBuffer.flushedSize));
        };
        library.readValue = [this](int16_t) {
            pacing.clock += readCost;
            if (++readsMade == stopAtRead)
                pacing.signal = SIGINT;
            if (reads.empty())
                return 0;
            const int32_t value = reads.front();
            reads.pop_front();
            return value;
        };
    }

    // The library runs sequences itself, on the pacing's clock: "Seq(n)" among the calls.
    void runSequences() {
        library.sequenceClock = [this] { return int64_t(pacing.clock.count()); };
        library.sequenceWait = [this](int64_t ns) {
            pacing.clock = std::max(pacing.clock, std::chrono::nanoseconds(ns));
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
                case FakePortLibrary::Call::Sequence:
                    parts << QStringLiteral("Seq(%1)").arg(call.data);
                    break;
            }
        }
        return parts.join(QLatin1Char(' '));
    }

    QString stdOut() const { return QString::fromStdString(outBuffer.str()); }
    QString stdErr() const { return QString::fromStdString(err.str()); }
};
