#include "cli/transcript.h"

#include <QStringList>

#include "cli/comwindow.h"
#include "cli/hexnumber.h"

namespace cli {

std::string explanation(int32_t port, RegisterDirection direction, int32_t value) {
    const int offset = comOffset(port).value_or(-1);
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
