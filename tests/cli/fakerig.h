// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <sstream>

#include "cli/console.h"
#include "tests/fakes/fakeportlibrary.h"

// The recording fake port library with a queue of values for its reads, and a console
// that keeps what the program says.
struct FakeRig {
    FakePortLibrary library;
    std::deque<int32_t> reads;  // answered in turn; an empty queue reads 0
    std::ostringstream out;
    std::ostringstream err;
    cli::Console console{out, err, "regwise-io-test"};

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
