// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/chipprobe.h"

#include <algorithm>

#include "cli/probe/uartsession.h"
#include "cli/script/transcript.h"
#include "uart/registers.h"

namespace cli {

using namespace uart;

namespace {

// The session's accesses, each noted as a line of the current test's evidence.
class Probe {
public:
    explicit Probe(UartSession& session) : m_session(session) {}

    void test(const char* name) { m_result.evidence.push_back({name, {}}); }

    std::optional<uint8_t> read(int offset) {
        const std::optional<uint8_t> value = m_session.read(offset);
        if (value)
            note(readText(m_session.base() + offset, *value));
        return value;
    }
    bool write(int offset, uint8_t value) {
        if (!m_session.write(offset, value))
            return false;
        note(writeText(m_session.base() + offset, value));
        return true;
    }
    // Writes, then reads back.
    std::optional<uint8_t> exchange(int offset, uint8_t value, int readOffset) {
        if (!write(offset, value))
            return std::nullopt;
        return read(readOffset);
    }

    ProbeResult verdict(Chip chip) {
        m_result.chip = chip;
        return m_result;
    }
    ProbeResult stopped() { return m_result; }
    void ierRead(uint8_t value) { m_result.ierReads.push_back(value); }

    UartSession& session() { return m_session; }

private:
    void note(const std::string& line) {
        if (!m_result.evidence.empty())
            m_result.evidence.back().accesses.push_back(line);
    }

    UartSession& m_session;
    ProbeResult m_result;
};

ProbeResult efrClass(Probe& probe) {
    const uint8_t working = probe.session().workingLcr();
    probe.test("xr-dvid");
    if (!probe.write(LCR, LCR_DLAB) || !probe.write(DLL, 0x00) || !probe.write(DLM, 0x00))
        return probe.stopped();
    const std::optional<uint8_t> id = probe.read(XR_DVID);
    if (!id || !probe.read(XR_DREV))
        return probe.stopped();
    if (std::find(kXrDeviceIds.begin(), kXrDeviceIds.end(), *id) != kXrDeviceIds.end())
        return probe.write(LCR, working) ? probe.verdict(Chip::XR16C850) : probe.stopped();

    probe.test("ox-id");
    if (!probe.write(LCR, LCR_EFR_ACCESS) || !probe.write(EFR, EFR_ENHANCED) ||
        !probe.write(LCR, working) || !probe.write(OX_SPR, OX_ACR) ||
        !probe.write(OX_ICR, OX_ACR_ICR_READ))
        return probe.stopped();
    std::array<uint8_t, 3> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::optional<uint8_t> value =
            probe.exchange(OX_SPR, static_cast<uint8_t>(OX_ID1 + i), OX_ICR);
        if (!value)
            return probe.stopped();
        ids[i] = *value;
    }
    const bool ox =
        ids[0] == kOxIds[0] && ids[1] == kOxIds[1] && (ids[2] & OX_ID3_MASK) == kOxIds[2];
    return probe.verdict(ox ? Chip::OX16C950 : Chip::U16650);
}

// Only a chip without FIFOs may lack the scratch register: an 8250 has none, a 16450 has one.
ProbeResult scratchClass(Probe& probe) {
    probe.test("scratch");
    for (const uint8_t pattern : {uint8_t{0xA5}, uint8_t{0x5A}}) {
        const std::optional<uint8_t> value = probe.exchange(SCR, pattern, SCR);
        if (!value)
            return probe.stopped();
        if (*value != pattern)
            return probe.verdict(Chip::U8250);
    }
    return probe.verdict(Chip::U16450);
}

ProbeResult fifoClass(Probe& probe) {
    const uint8_t working = probe.session().workingLcr();
    // FCR←01 with DLAB set: a 16750 left in its 64-byte mode leaves it (it takes FCR bit 5
    // only in a write with bit 0 set while DLAB is set, and keeps it through any other).
    probe.test("fifo");
    if (!probe.write(LCR, LCR_DLAB))
        return probe.stopped();
    const std::optional<uint8_t> iir = probe.exchange(FCR, FCR_ENABLE, IIR);
    if (!iir || !probe.write(LCR, working))
        return probe.stopped();
    if ((*iir & IIR_FIFOS) == IIR_FIFOS_NONE)
        return scratchClass(probe);
    if ((*iir & IIR_FIFOS) != IIR_FIFOS_WORKING)
        return probe.verdict(Chip::U16550);

    // A 16750 takes FCR bit 5 only with DLAB set; a chip that shows IIR bit 5 without it is
    // not one. LCR goes back to the working value before anything else is decided.
    probe.test("fifo64");
    const std::optional<uint8_t> withoutDlab = probe.exchange(FCR, FCR_ENABLE | FCR_FIFO64, IIR);
    if (!withoutDlab || !probe.write(LCR, LCR_DLAB))
        return probe.stopped();
    const std::optional<uint8_t> withDlab = probe.exchange(FCR, FCR_ENABLE | FCR_FIFO64, IIR);
    if (!withDlab || !probe.write(LCR, working))
        return probe.stopped();
    const bool fifo64 = !(*withoutDlab & IIR_FIFO64) && (*withDlab & IIR_FIFO64);
    return probe.verdict(fifo64 ? Chip::U16750 : Chip::U16550A);
}

}  // namespace

ProbeResult probeChip(UartSession& session) {
    Probe probe(session);
    probe.test("ier");
    if (!session.saveLcrAndIer())
        return probe.stopped();
    // Where nothing answers, the bus may hand back the last byte driven on it: between the
    // IER write and its read another value is driven in the same window, through SCR (saved,
    // and put back at the end), so that only a register that kept the value reads it back.
    for (const uint8_t pattern : {uint8_t{0x00}, IER_MASK}) {
        if (!probe.write(IER, pattern) || !probe.write(SCR, static_cast<uint8_t>(~pattern)))
            return probe.stopped();
        const std::optional<uint8_t> value = probe.read(IER);
        if (!value)
            return probe.stopped();
        probe.ierRead(*value);
        if ((*value & IER_MASK) != pattern)
            return probe.verdict(Chip::None);
    }
    // No interrupt source stays enabled while the probe works.
    if (!probe.write(IER, 0x00) || !session.saveRest())
        return probe.stopped();

    // The first write at offset 2: the EFR on a chip that has one, FCR←00 on any other.
    probe.test("efr");
    if (!probe.write(LCR, LCR_EFR_ACCESS))
        return probe.stopped();
    const std::optional<uint8_t> before = session.read(EFR);  // IIR on a chip without an EFR
    if (!before)
        return probe.stopped();
    session.efrCandidate(*before);
    const std::optional<uint8_t> efr = probe.exchange(EFR, 0x00, EFR);
    if (!efr)
        return probe.stopped();
    session.foundEfr(*efr == 0x00);
    return *efr == 0x00 ? efrClass(probe) : fifoClass(probe);
}

}  // namespace cli
