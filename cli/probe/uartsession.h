// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cli/base/portwait.h"
#include "portio/ioscm.h"
#include "uart/registers.h"

class PortLibrary;

namespace cli {

struct Console;
class StoppableClock;

// The registers of one UART as they were before a probe or a self-test changed them.
struct SavedRegisters {
    std::optional<uint8_t> lcr, ier, mcr, scr, dll, dlm, efr;
    std::optional<uint8_t> iir;  // before the first FCR write: bits 7-6 tell the FIFOs' state

    bool fifosWereOn() const { return iir && (*iir & uart::IIR_FIFOS) != 0; }
};

// The accesses of a probe or a self-test to one UART, in an open session, and the way back
// to how the UART was. Every register is saved before it is first changed, and restore()
// writes back exactly the registers that were changed, in an order that every chip of the
// family takes: the EFR first (it gates the enhanced bits of IER and MCR), then the divisor
// and the FIFOs with DLAB set, then IER, MCR and SCR, then LCR.
//
// Each access, and each wait, first looks for a stop request. After a failed access or a stop
// request no further access is made until restore(), which makes its writes whatever came
// before.
class UartSession {
public:
    enum class End { Running, Failed, Stopped };

    UartSession(PortLibrary& library, int32_t base, const Console& console, StoppableClock& pacing);

    int32_t base() const { return m_base; }
    End end() const { return m_end; }
    int stopSignal() const { return m_stopSignal; }
    StoppableClock& pacing() { return m_pacing; }

    std::optional<uint8_t> read(int offset);
    bool write(int offset, uint8_t value);
    // Reads offset until its value, in the bits of mask, equals expected, for at most limit
    // (rounded up to whole milliseconds): a readUntil on this UART.
    std::optional<PortWait> waitFor(int offset, uint8_t expected, uint8_t mask,
                                    std::chrono::nanoseconds limit);

    // Runs steps, whose ports are offsets from the base, as a register sequence of the
    // library (timed by it, at bus speed), or several in turn where the library's bounds
    // require, and fills results. Each write is noted for restore() as write() notes it.
    // False, with the person told, when a step could not run; as with any access, nothing
    // runs after a failure or a stop request.
    bool sequence(std::vector<IOSCM_Step> steps, std::vector<IOSCM_StepResult>& results);

    // R LCR, with DLAB cleared if it was set, then R IER and R SCR. DLAB stays clear.
    bool saveLcrAndIer();
    // MCR, the FIFOs' state from IIR (reading IIR clears a pending THRE interrupt) and
    // the divisor latch, read at LCR 80. Leaves LCR as saved, with DLAB clear.
    bool saveRest();
    // What offset 2 read at LCR BF before the first write there: the EFR on a chip that has
    // one. Until the probe knows, that write counts as reaching both the EFR and FCR, and
    // restore() puts back both, the EFR first (on a chip without one, that write is FCR's
    // and the FCR write after it settles FIFOs).
    void efrCandidate(uint8_t value);
    // Whether the chip has an EFR, once the probe knows.
    void foundEfr(bool found);

    // The UART's input clock as measured (measure.h), once it was; else none, and times
    // derived from a divisor take the PC's 1.8432 MHz.
    std::optional<double> measuredClock() const { return m_measuredClock; }
    void setMeasuredClock(std::optional<double> hz) { m_measuredClock = hz; }

    // LCR as saved, without DLAB: the frame format the probe works under.
    uint8_t workingLcr() const {
        return static_cast<uint8_t>(m_saved.lcr.value_or(0) & ~uart::LCR_DLAB);
    }

    // Puts back every changed register; true when every write was made.
    bool restore();

private:
    // False once the session has ended, or when a stop is requested now (it ends there).
    bool going();
    bool access(bool write, int offset, uint8_t value, uint8_t* read);
    // One sequence of the library.
    bool runPart(std::span<const IOSCM_Step> offsets, std::span<IOSCM_StepResult> results);
    void noteWrite(int offset, uint8_t value);
    bool restoreWrite(int offset, uint8_t value, bool& ok);
    void restoreRegisters(bool& ok);

    PortLibrary& m_library;
    const int32_t m_base;
    const Console& m_console;
    StoppableClock& m_pacing;
    End m_end = End::Running;
    int m_stopSignal = 0;

    SavedRegisters m_saved;
    std::optional<uint8_t> m_lcrNow;  // what LCR holds now, once known
    uint8_t m_sprNow = 0xFF;          // the last value written to offset 7
    std::optional<bool> m_hasEfr;
    std::optional<double> m_measuredClock;
    // Changed since saving.
    bool m_ierChanged = false, m_mcrChanged = false, m_scrChanged = false, m_divisorChanged = false,
         m_fcrChanged = false, m_efrChanged = false, m_acrChanged = false;
    bool m_toldRestoreFailed = false;
};

}  // namespace cli
