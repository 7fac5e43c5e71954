// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>

// The outcome of one call into the port I/O library.
struct PortCall {
    bool made = false;  // false: the library or the function could not be loaded; nothing ran
    int32_t value = 0;  // the function's result, when made
    std::string error;  // the loader's reason when not made, else the library's last error
                        // right after the call (empty when it reported none)

    bool failed() const { return !made || !error.empty(); }
};

// The port I/O library as the handlers use it: the four functions the program calls.
// ModIOSCMdef is the real one; tests use recording fakes.
class PortLibrary {
public:
    virtual ~PortLibrary() = default;
    virtual PortCall start() = 0;                           // IOSCM_Start
    virtual PortCall stop() = 0;                            // IOSCM_Stop
    virtual PortCall inpB(int16_t port) = 0;                // InpB
    virtual PortCall outB(int16_t port, int16_t data) = 0;  // OutB
};
