// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/transcript.h"

#include <QStringList>

#include "cli/hexnumber.h"
#include "uart/registers.h"

namespace cli {

std::string explanation(int32_t port, RegisterDirection direction, int32_t value) {
    // The COM windows start on multiples of eight, so a port's offset is its low three bits.
    const int offset = uart::inComWindow(port) ? port % uart::kPortsPerUart : -1;
    QStringList parts;
    for (const QString& line :
         describeRegister(offset, direction, value).split(QLatin1Char('\n'))) {
        if (const QString part = line.trimmed(); !part.isEmpty())
            parts << part;
    }
    return parts.join(QStringLiteral("; ")).toStdString();
}

std::string readLine(int32_t port, int32_t value, bool explain) {
    std::string line = "R " + hexPort(port) + " = " + hexByte(value);
    if (explain)
        line += "  # " + explanation(port, RegisterDirection::Read, value);
    return line;
}

std::string writeLine(int32_t port, int32_t value, bool explain) {
    std::string line = "W " + hexPort(port) + " " + hexByte(value);
    if (explain)
        line += "  # " + explanation(port, RegisterDirection::Write, value);
    return line;
}

}  // namespace cli
