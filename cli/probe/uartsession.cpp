// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/uartsession.h"

#include <algorithm>
#include <string>

#include "cli/base/console.h"
#include "cli/base/numbers.h"
#include "cli/base/portaccess.h"
#include "cli/base/stoppableclock.h"
#include "portio/portlibrary.h"
#include "uart/chips.h"
#include "uart/registers.h"

namespace cli {

using namespace uart;

UartSession::UartSession(PortLibrary& library, int32_t base, const Console& console,
                         StoppableClock& pacing)
    : m_library(library), m_base(base), m_console(console), m_pacing(pacing) {}

bool UartSession::going() {
    if (m_end != End::Running)
        return false;
    if (const int signal = m_pacing.stopSignal(); signal != 0) {
        m_end = End::Stopped;
        m_stopSignal = signal;
        return false;
    }
    return true;
}

bool UartSession::access(bool write, int offset, uint8_t value, uint8_t* read) {
    if (!going())
        return false;
    const int32_t port = m_base + offset;
    if (write) {
        // Noted first: a write that failed may still have reached the chip.
        noteWrite(offset, value);
        if (!writePort(m_library, port, value, m_console)) {
            m_end = End::Failed;
            if (offset == LCR)
                m_lcrNow.reset();  // restore() cannot tell what LCR holds now
            return false;
        }
        return true;
    }
    const std::optional<int32_t> got = readPort(m_library, port, m_console);
    if (!got) {
        m_end = End::Failed;
        return false;
    }
    *read = static_cast<uint8_t>(*got);
    if (offset == LCR && !m_lcrNow)
        m_lcrNow = *read;
    return true;
}

std::optional<uint8_t> UartSession::read(int offset) {
    uint8_t value = 0;
    if (!access(false, offset, 0, &value))
        return std::nullopt;
    return value;
}

bool UartSession::write(int offset, uint8_t value) {
    return access(true, offset, value, nullptr);
}

// Which register a write reaches depends on LCR: the divisor latch with DLAB set, the EFR at
// LCR BF on a chip that has one, the 16C950's ACR through SPR index 00.
void UartSession::noteWrite(int offset, uint8_t value) {
    const uint8_t lcr = m_lcrNow.value_or(0);
    const bool dlab = (lcr & LCR_DLAB) != 0;
    switch (offset) {
        case THR:
        case IER:
            if (dlab)
                m_divisorChanged = true;
            else if (offset == IER)
                m_ierChanged = true;
            break;
        case FCR:
            if (lcr != LCR_EFR_ACCESS || m_hasEfr != true)
                m_fcrChanged = true;
            if (lcr == LCR_EFR_ACCESS && m_hasEfr != false)
                m_efrChanged = true;
            break;
        case LCR:
            m_lcrNow = value;
            break;
        case MCR:
            m_mcrChanged = true;
            break;
        case OX_ICR:
            if (m_sprNow == OX_ACR && lcr != LCR_EFR_ACCESS)
                m_acrChanged = true;
            break;
        case SCR:
            m_sprNow = value;
            m_scrChanged = true;
            break;
        default:
            break;
    }
}

std::optional<PortWait> UartSession::waitFor(int offset, uint8_t expected, uint8_t mask,
                                             std::chrono::nanoseconds limit) {
    if (!going())
        return std::nullopt;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(limit);
    PortWait wait = readUntil(m_library, m_base + offset, expected, mask,
                              std::max(ms, std::chrono::milliseconds(1)), m_pacing, m_console);
    if (wait.end == PortWait::End::Failed) {
        m_end = End::Failed;
        return std::nullopt;
    }
    if (wait.end == PortWait::End::Stopped) {
        m_end = End::Stopped;
        m_stopSignal = m_pacing.stopSignal();
        return std::nullopt;
    }
    return wait;
}

bool UartSession::sequence(std::vector<IOSCM_Step> steps, std::vector<IOSCM_StepResult>& results) {
    results.assign(steps.size(), IOSCM_StepResult{});
    // The library takes so many steps, with so much time in them, at once: more run as
    // several sequences in turn. The program may be paused between them, which their times
    // show.
    for (std::size_t from = 0; from < steps.size();) {
        std::size_t to = from;
        uint64_t ns = 0;
        for (; to < steps.size() && to - from < IOSCM_SEQUENCE_MAX_STEPS; ++to) {
            const IOSCM_Step& step = steps[to];
            const uint64_t stepNs =
                step.kind == IOSCM_STEP_POLL || step.kind == IOSCM_STEP_WAIT ? step.ns : 0;
            if (to > from && ns + stepNs > IOSCM_SEQUENCE_MAX_NS)
                break;
            ns += stepNs;
        }
        if (!runPart(std::span(steps).subspan(from, to - from),
                     std::span(results).subspan(from, to - from)))
            return false;
        from = to;
    }
    return true;
}

bool UartSession::runPart(std::span<const IOSCM_Step> offsets,
                          std::span<IOSCM_StepResult> results) {
    if (!going())
        return false;
    std::vector<IOSCM_Step> steps(offsets.begin(), offsets.end());
    for (IOSCM_Step& step : steps) {
        // Noted first, as for a single write: a sequence that failed part way may have made
        // any of them.
        if (step.kind == IOSCM_STEP_WRITE)
            noteWrite(step.port, step.data);
        if (step.kind != IOSCM_STEP_WAIT)
            step.port = static_cast<int16_t>(m_base + step.port);
    }
    const PortCall call = m_library.sequence(steps, results);
    if (!call.failed() && call.value == static_cast<int32_t>(steps.size()))
        return true;
    m_end = End::Failed;
    m_lcrNow.reset();  // restore() cannot tell how far the sequence came
    const std::size_t at = std::min(static_cast<std::size_t>(std::max(call.value, 0)),
                                    steps.empty() ? 0 : steps.size() - 1);
    const IOSCM_Step& step = steps.empty() ? IOSCM_Step{} : steps[at];
    const int32_t port = static_cast<uint16_t>(step.port);  // above 7FFF too
    const std::string reason =
        call.error.empty() ? std::string("手順の途中で終わりました。") : call.error;
    if (step.kind == IOSCM_STEP_WRITE)
        tellWriteFailed(port, step.data, reason, m_console);
    else
        tellReadFailed(port, reason, m_console);
    return false;
}

bool UartSession::saveLcrAndIer() {
    m_saved.lcr = read(LCR);
    if (!m_saved.lcr)
        return false;
    if ((*m_saved.lcr & LCR_DLAB) && !write(LCR, workingLcr()))
        return false;
    return (m_saved.ier = read(IER)) && (m_saved.scr = read(SCR));
}

bool UartSession::saveRest() {
    if (!(m_saved.mcr = read(MCR)) || !(m_saved.iir = read(IIR)))
        return false;
    if (!write(LCR, LCR_DLAB) || !(m_saved.dll = read(DLL)) || !(m_saved.dlm = read(DLM)))
        return false;
    return write(LCR, workingLcr());
}

void UartSession::efrCandidate(uint8_t value) {
    if (!m_hasEfr && !m_saved.efr)
        m_saved.efr = value;
}

void UartSession::foundEfr(bool found) {
    m_hasEfr = found;
    if (found) {
        m_fcrChanged = false;  // the writes at LCR BF went to the EFR
    } else {
        m_efrChanged = false;
        m_saved.efr.reset();
    }
}

bool UartSession::restoreWrite(int offset, uint8_t value, bool& ok) {
    const int32_t port = m_base + offset;
    if (offset == LCR)
        m_lcrNow = value;
    // After one failure the library is likely gone: the rest is tried without a message each.
    const bool made = m_toldRestoreFailed
                          ? !m_library.outB(static_cast<int16_t>(port), value).failed()
                          : writePort(m_library, port, value, m_console);
    if (!made) {
        m_toldRestoreFailed = true;
        ok = false;
        if (offset == LCR)
            m_lcrNow.reset();
    }
    return made;
}

bool UartSession::restore() {
    bool ok = true;
    if (m_saved.lcr)  // else nothing was read, so nothing was written
        restoreRegisters(ok);
    if (!ok) {
        m_console.message("ポート0x" + hexPort(m_base) +
                          "の UART のレジスタを元に戻せなかった可能性があります。");
    }
    m_end = m_end == End::Running && !ok ? End::Failed : m_end;
    m_ierChanged = m_mcrChanged = m_scrChanged = m_divisorChanged = m_fcrChanged = m_efrChanged =
        m_acrChanged = false;
    return ok;
}

// Every register but LCR is reached through LCR's value: after a failed LCR write the rest
// would land in the wrong registers, so the restore ends there.
void UartSession::restoreRegisters(bool& ok) {
    const SavedRegisters& s = m_saved;
    if (m_efrChanged && s.efr) {
        if (!restoreWrite(LCR, LCR_EFR_ACCESS, ok))
            return;
        restoreWrite(EFR, *s.efr, ok);
    }
    const bool fcr = m_fcrChanged && s.iir;
    if ((m_divisorChanged && s.dll && s.dlm) || fcr) {
        // A 16750 takes FCR bit 5, its 64-byte FIFO, only while DLAB is set.
        if (!restoreWrite(LCR, LCR_DLAB, ok))
            return;
        if (m_divisorChanged && s.dll && s.dlm) {
            restoreWrite(DLL, *s.dll, ok);
            restoreWrite(DLM, *s.dlm, ok);
        }
        if (fcr) {
            // A 16750 takes FCR bit 5 only in a write with bit 0 set: FIFOs that were off
            // are turned off from the 16-byte mode, the one a reset leaves.
            const uint8_t on = FCR_ENABLE | FCR_RX_RESET | FCR_TX_RESET |
                               static_cast<uint8_t>(*s.iir & IIR_FIFO64);
            if (s.fifosWereOn())
                restoreWrite(FCR, on, ok);
            else if (restoreWrite(FCR, FCR_ENABLE, ok))
                restoreWrite(FCR, 0x00, ok);
        }
    }
    const bool lowerRegisters = (m_ierChanged && s.ier) || (m_mcrChanged && s.mcr) ||
                                (m_scrChanged && s.scr) || m_acrChanged;
    if (lowerRegisters && m_lcrNow != workingLcr() && !restoreWrite(LCR, workingLcr(), ok))
        return;
    if (m_acrChanged) {
        restoreWrite(OX_SPR, OX_ACR, ok);
        restoreWrite(OX_ICR, OX_ACR_RESET, ok);
    }
    if (m_ierChanged && s.ier)
        restoreWrite(IER, *s.ier, ok);
    if (m_mcrChanged && s.mcr)
        restoreWrite(MCR, *s.mcr, ok);
    if ((m_scrChanged || m_acrChanged) && s.scr)
        restoreWrite(SCR, *s.scr, ok);
    if (m_lcrNow != s.lcr)
        restoreWrite(LCR, *s.lcr, ok);
}

}  // namespace cli
