// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

#include "uart/registers.h"

// How the modem lines of a 16550 are wired in loopback and through a null-modem cable, and
// which MSR change bits a change of the inputs sets. The simulated UARTs and the self-test
// both take these from here, so that what the model does and what the check expects agree.
namespace uart {

// MSR bits 7-4: the states of the modem inputs.
inline constexpr uint8_t MSR_INPUTS = MSR_CTS | MSR_DSR | MSR_RI | MSR_DCD;

// In loopback (MCR bit 4) the outputs feed the inputs inside the chip: DTR to DSR, RTS to
// CTS, OUT1 to RI, OUT2 to DCD.
constexpr uint8_t loopbackInputs(uint8_t mcr) {
    uint8_t inputs = 0;
    if (mcr & MCR_RTS)
        inputs |= MSR_CTS;
    if (mcr & MCR_DTR)
        inputs |= MSR_DSR;
    if (mcr & MCR_OUT1)
        inputs |= MSR_RI;
    if (mcr & MCR_OUT2)
        inputs |= MSR_DCD;
    return inputs;
}

// A null-modem cable: the other end's RTS reaches CTS, its DTR reaches DSR and DCD; RI is
// not wired.
constexpr uint8_t nullModemInputs(bool peerRts, bool peerDtr) {
    return static_cast<uint8_t>((peerRts ? MSR_CTS : 0) | (peerDtr ? (MSR_DSR | MSR_DCD) : 0));
}

// The MSR change bits (3-0) a change of the inputs from before to after sets: one for each
// of CTS, DSR and DCD that changed either way, TERI only when RI went from on to off.
constexpr uint8_t msrDeltas(uint8_t before, uint8_t after) {
    const uint8_t changed = static_cast<uint8_t>((before ^ after) & MSR_INPUTS);
    uint8_t deltas = 0;
    if (changed & MSR_CTS)
        deltas |= MSR_DCTS;
    if (changed & MSR_DSR)
        deltas |= MSR_DDSR;
    if ((changed & MSR_RI) && (before & MSR_RI))
        deltas |= MSR_TERI;
    if (changed & MSR_DCD)
        deltas |= MSR_DDCD;
    return deltas;
}

static_assert(loopbackInputs(MCR_DTR | MCR_OUT2) == (MSR_DSR | MSR_DCD) &&
              loopbackInputs(MCR_LOOP) == 0 && loopbackInputs(0x0F) == MSR_INPUTS);
static_assert(nullModemInputs(true, false) == MSR_CTS &&
              nullModemInputs(false, true) == (MSR_DSR | MSR_DCD));
static_assert(msrDeltas(0, MSR_RI) == 0 && msrDeltas(MSR_RI, 0) == MSR_TERI &&
              msrDeltas(MSR_CTS, MSR_DCD) == (MSR_DCTS | MSR_DDCD));

}  // namespace uart
