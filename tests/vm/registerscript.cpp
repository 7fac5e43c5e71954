// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "tests/vm/registerscript.h"

#include <cstdio>
#include <sstream>

#include "uart/registers.h"

using namespace uart;

namespace {

class Script {
public:
    Script(const PortFunctions& ports, std::vector<TranscriptLine>& out)
        : m_ports(ports), m_out(out) {}

    void write(int base, int offset, int value, const char* tag = "w") {
        TranscriptLine line;
        line.tag = tag;
        line.base = base;
        line.op = 'W';
        line.port = base + offset;
        line.value = value;
        m_ports.outB(static_cast<int16_t>(base + offset), static_cast<int16_t>(value));
        note(line);
    }
    void read(int base, int offset, int expected, const char* tag = "r", int mask = 0xFF) {
        TranscriptLine line;
        line.tag = tag;
        line.base = base;
        line.port = base + offset;
        line.expected = expected;
        line.mask = mask;
        line.value = m_ports.inpB(static_cast<int16_t>(base + offset));
        note(line);
    }

private:
    void note(TranscriptLine& line) {
        const char* error = m_ports.lastError ? m_ports.lastError() : nullptr;
        if (error != nullptr)
            line.error = error;
        m_out.push_back(line);
    }
    const PortFunctions& m_ports;
    std::vector<TranscriptLine>& m_out;
};

}  // namespace

std::string TranscriptLine::text() const {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s %03X %c %03X %02X", tag.c_str(), base, op, port,
                  value);
    return buffer;
}

bool TranscriptLine::parse(const std::string& text, TranscriptLine& line) {
    std::istringstream in(text);
    std::string op;
    in >> line.tag >> std::hex >> line.base >> op >> line.port >> line.value;
    if (!in || op.size() != 1)
        return false;
    line.op = op[0];
    return true;
}

std::vector<TranscriptLine> runRegisterScript(const PortFunctions& ports) {
    std::vector<TranscriptLine> out;
    Script s(ports, out);

    for (int b : kComBases) {
        s.read(b, IER, 0x00, "reset");
        s.read(b, IIR, 0x01, "reset");
        s.read(b, LCR, 0x00, "reset");
        s.read(b, MCR, -1, "reset-mcr");
        s.read(b, LSR, 0x60, "reset");
        s.read(b, MSR, -1, "reset-msr");
        s.read(b, SCR, -1, "reset-scr");
        s.write(b, LCR, 0x80);
        s.read(b, DLL, -1, "reset-dl");
        s.read(b, DLM, -1, "reset-dl");
        s.write(b, LCR, 0x00);
    }

    for (int b : kComBases) {
        // Scratch register: any byte stays as written.
        s.write(b, SCR, 0x55);
        s.read(b, SCR, 0x55);
        s.write(b, SCR, 0xAA);
        s.read(b, SCR, 0xAA);

        // Divisor latch behind DLAB, and the line control register itself.
        s.write(b, LCR, 0x80);
        s.write(b, DLL, 0x34);
        s.write(b, DLM, 0x12);
        s.read(b, DLL, 0x34);
        s.read(b, DLM, 0x12);
        s.read(b, LCR, 0x80);
        s.write(b, LCR, 0x1B);
        s.read(b, LCR, 0x1B);
        s.write(b, LCR, 0x03);
        s.read(b, LCR, 0x03);

        s.write(b, IER, 0x05);
        s.read(b, IER, 0x05);
        s.write(b, IER, 0x00);
        s.read(b, IER, 0x00);

        s.write(b, MCR, 0x03);
        s.read(b, MCR, 0x03);
        s.write(b, MCR, 0x00);

        // Loopback: a byte written to THR comes back in RBR; LSR shows it arriving.
        s.write(b, MCR, 0x10);
        s.read(b, MCR, 0x10);
        s.read(b, LSR, 0x60);
        s.write(b, THR, 0x5A);
        s.read(b, LSR, 0x61);
        s.read(b, RBR, 0x5A);
        s.read(b, LSR, 0x60);

        // Loopback wires DTR, RTS, OUT1, OUT2 to DSR, CTS, RI, DCD (MSR bits 5, 4, 6, 7).
        // Delta bits (0-3) are not checked: QEMU's model sets none here.
        s.write(b, MCR, 0x1F);
        s.read(b, MSR, 0xF0, "loop-msr", 0xF0);
        s.write(b, MCR, 0x11);
        s.read(b, MSR, 0x20, "loop-msr", 0xF0);
        s.write(b, MCR, 0x12);
        s.read(b, MSR, 0x10, "loop-msr", 0xF0);
        s.write(b, MCR, 0x14);
        s.read(b, MSR, 0x40, "loop-msr", 0xF0);
        s.write(b, MCR, 0x18);
        s.read(b, MSR, 0x80, "loop-msr", 0xF0);
        s.write(b, MCR, 0x10);
        s.read(b, MSR, 0x00, "loop-msr", 0xF0);
        s.write(b, MCR, 0x00);
    }
    return out;
}

bool allowedDifference(const TranscriptLine& hw, const TranscriptLine& sim) {
    if (hw.tag != sim.tag || hw.op != sim.op || hw.port != sim.port)
        return false;
    const int offset = hw.port - hw.base;
    if (hw.tag == "reset-mcr")
        return hw.value == 0x08;
    if (hw.tag == "reset-msr")
        return hw.value == 0xB0;
    if (hw.tag == "reset-dl")
        return hw.value == (offset == DLL ? 0x0C : 0x00);
    if (hw.tag == "loop-msr")
        return (hw.value & 0xF0) == (sim.value & 0xF0) && (hw.value & 0x0F) == 0;
    return false;
}
