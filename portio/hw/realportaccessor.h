// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include "portio/hw/portaccessor.h"

// The machine's own I/O ports through ioperm/inb/outb. Used only by regwise-portd's main;
// nothing else links it.
class RealPortAccessor final : public PortAccessor {
public:
    OpenOutcome open() override;
    uint8_t read(uint16_t port) override;
    void write(uint16_t port, uint8_t value) override;
};
