#pragma once

#include <cstdint>

// What the helper does to the machine: gain access to the four port windows, and touch
// one port. The real one (RealPortAccessor) lives only in regwise-portd; tests use fakes.
class PortAccessor {
public:
    virtual ~PortAccessor() = default;

    // Gains access to exactly the four windows and gives up every privilege besides.
    // Returns 0, or the errno of the step that failed (EPERM when not permitted).
    virtual int open() = 0;
    virtual uint8_t read(uint16_t port) = 0;
    virtual void write(uint16_t port, uint8_t value) = 0;
};
