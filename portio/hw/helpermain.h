// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>

#include "portio/hw/portaccessor.h"
#include "portio/hw/portdserver.h"

namespace portd {

// The helper's whole life, whatever its ports are: libregwise-portio.so starts it with its end
// of a socketpair as fd 3, in a process group of its own. It checks that fd 3 is that socket,
// ignores the program's stop signals, closes every other descriptor above the standard
// streams, opens the windows through ports, tells the library whether it is ready, and then
// serves one request at a time until asked to stop or until the socket closes. Returns the
// process exit code. regwise-portd passes the machine's ports; the benchmark's and the tests'
// stand-ins pass ports that are memory.
int helperMain(PortAccessor& ports, std::string lockdownPath = PortdServer::kLockdownPath);

}  // namespace portd
