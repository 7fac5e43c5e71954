// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// regwise-portd: the only Regwise process that may touch I/O ports. It gains access to the
// four COM port windows and the windows of the kernel's other port-I/O UARTs, drops every
// privilege, and serves the library that started it (helpermain.h).

#include "portio/hw/helpermain.h"
#include "portio/hw/realportaccessor.h"

int main() {
    RealPortAccessor ports;
    return portd::helperMain(ports);
}
