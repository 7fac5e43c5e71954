// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script/transcript.h"

#include <QStringList>
#include <cstdio>

#include "cli/base/numbers.h"
#include "uart/registers.h"

namespace cli {

std::string explanation(int32_t port, RegisterDirection direction, int32_t value) {
    // Every window the program reaches starts on a multiple of eight (the COM windows, and
    // the kernel's other UARTs', whose bases it takes only when they do), and a port reaches
    // this line only once it lay in one: its offset is its low three bits.
    const int offset = port >= 0 && port <= 0xFFFF ? port % uart::kPortsPerUart : -1;
    QStringList parts;
    for (const QString& line :
         describeRegister(offset, direction, value).split(QLatin1Char('\n'))) {
        if (const QString part = line.trimmed(); !part.isEmpty())
            parts << part;
    }
    return parts.join(QStringLiteral("; ")).toStdString();
}

std::string readText(int32_t port, int32_t value) {
    return "R " + hexPort(port) + " = " + hexByte(value);
}

std::string writeText(int32_t port, int32_t value) {
    return "W " + hexPort(port) + " " + hexByte(value);
}

std::string readLine(const Statement& read, int32_t value, bool explain) {
    std::string line = readText(read.port, value);
    if (read.ms > 0)
        line += " WITHIN " + std::to_string(read.ms);
    if (explain)
        line += "  # " + explanation(read.port, RegisterDirection::Read, value);
    return line;
}

std::string statementLine(const Statement& statement, bool explain) {
    switch (statement.kind) {
        case Statement::Kind::Write: {
            std::string line = writeText(statement.port, statement.value);
            if (explain) {
                line +=
                    "  # " + explanation(statement.port, RegisterDirection::Write, statement.value);
            }
            return line;
        }
        case Statement::Kind::Mask:
            return "MASK " + hexPort(statement.port) + " " + hexByte(statement.value);
        case Statement::Kind::Sleep:
            return "SLEEP " + std::to_string(statement.ms);
        case Statement::Kind::Read:
            break;
    }
    return readLine(statement, statement.value, explain);
}

std::string missedNote(int32_t expected, int32_t mask) {
    return "  # expected " + hexByte(expected) + " (mask " + hexByte(mask) + ")";
}

std::string seenNote(const std::vector<int32_t>& distinct, int notKept) {
    std::string note = "  # seen";
    for (const int32_t value : distinct)
        note += " " + hexByte(value);
    if (notKept > 0)
        note += " and " + std::to_string(notKept) + " more";
    return note;
}

std::string clearedNote(int32_t bits) {
    return "  # error bits " + hexByte(bits) + " cleared by an earlier read";
}

std::string lateNote(std::chrono::nanoseconds late) {
    char text[80];
    std::snprintf(text, sizeof text, "  # read %.3f ms after the limit, the program paused",
                  std::chrono::duration<double, std::milli>(late).count());
    return text;
}

std::string waitNote(int reads, std::chrono::nanoseconds took) {
    char text[64];
    std::snprintf(text, sizeof text, "  # %d %s, %.3f ms", reads, reads == 1 ? "read" : "reads",
                  std::chrono::duration<double, std::milli>(took).count());
    return text;
}

}  // namespace cli
