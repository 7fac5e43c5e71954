// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "uart/chips.h"

// Which member of the 8250 family answers at a base, from its registers alone: no byte is
// sent or received and RBR is never read. The tests, in this order, each on what the one
// before found:
//   ier      IER←00 reads x0 and IER←0F reads xF, with SCR←FF and SCR←00 written between
//            each IER write and its read (an empty bus reads FF; a floating one gives back
//            the last byte driven on it, the SCR value): else none
//   efr      at LCR BF, offset 2←00 reads 00: an EFR (a 16550A has FCR there, and its IIR
//            never reads 00 while IER is 00)
//   EFR class:
//     xr-dvid   DLAB set, DLL = DLM = 00: offset 1 reads 10, 12 or 14: XR16C850 family
//     ox-id     EFR←10, then ICR IDs 08-0A through ACR←40 read 16 C9 5x: 16C950; else 16650
//   else:
//     fifo      FCR←01 with DLAB set (a 16750 leaves its 64-byte mode): IIR bits 7-6 00 no
//               FIFO, 10 16550, 11 16550A or later
//     scratch   (no FIFO) SCR←A5 and SCR←5A read back: 16450; else 8250
//     fifo64    FCR←21 leaves IIR bit 5 at 0 with DLAB clear and sets it with DLAB set: 16750
namespace cli {

class UartSession;

// The accesses of one test, as script lines ("W 3FF A5", "R 3FF = A5").
struct Evidence {
    std::string test;
    std::vector<std::string> accesses;
};

struct ProbeResult {
    std::optional<uart::Chip> chip;  // none when the probe stopped part way
    std::vector<Evidence> evidence;
    std::vector<uint8_t> ierReads;  // what the ier test read back from IER, in order
};

// The most accesses a probe of one base makes, restore included.
inline constexpr int kMostProbeAccesses = 48;

// Probes the UART of the session, saving its registers first (UartSession::saveLcrAndIer,
// saveRest) and leaving them changed: the caller restores them once it is done with the UART.
// A none verdict leaves everything but LCR, IER and SCR unread. LCR is left without DLAB.
ProbeResult probeChip(UartSession& session);

}  // namespace cli
