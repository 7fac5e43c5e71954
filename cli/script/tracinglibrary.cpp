// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script/tracinglibrary.h"

#include "cli/script/transcript.h"

namespace cli {

PortCall TracingLibrary::inpB(int16_t port) {
    const PortCall call = m_inner.inpB(port);
    if (!call.failed()) {
        const Statement read{Statement::Kind::Read, static_cast<uint16_t>(port), 0, false, 0};
        m_trace << readLine(read, call.value & 0xFF, false) << '\n' << std::flush;
    }
    return call;
}

PortCall TracingLibrary::outB(int16_t port, int16_t data) {
    const PortCall call = m_inner.outB(port, data);
    if (!call.failed()) {
        const Statement write{Statement::Kind::Write, static_cast<uint16_t>(port), data & 0xFF,
                              false, 0};
        m_trace << statementLine(write, false) << '\n' << std::flush;
    }
    return call;
}

}  // namespace cli
