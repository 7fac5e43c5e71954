// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// regwise-portd: the only Regwise process that may touch I/O ports. libregwise-portio.so
// starts it with its end of a socketpair as fd 3, in a process group of its own. It gains
// access to the four COM port windows and the windows of the kernel's other port-I/O UARTs,
// drops every privilege, tells the library whether it is ready, and then serves one request at a
// time until asked to stop or until the socket closes.

#include <cstdio>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "portio/hw/portdprotocol.h"
#include "portio/hw/portdserver.h"
#include "portio/hw/realportaccessor.h"

int main() {
    struct stat st {};
    int type = 0;
    socklen_t len = sizeof type;
    if (fstat(portd::kSocketFd, &st) != 0 || !S_ISSOCK(st.st_mode) ||
        getsockopt(portd::kSocketFd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 ||
        type != SOCK_SEQPACKET) {
        std::fputs("regwise-portd: started by libregwise-portio.so only (fd 3 is not its socket)\n",
                   stderr);
        return 2;
    }
    // Its own process group keeps the signals for the program's group away; a stop signal
    // sent to the helper itself must not end it either while the program restores the UARTs.
    ignoreProgramSignals();
    // Nothing but the socket and the standard streams stays open while privileged.
    syscall(SYS_close_range, portd::kSocketFd + 1, ~0U, 0);

    RealPortAccessor ports;
    PortdServer server(ports);
    const portd::Reply first = server.start();
    if (send(portd::kSocketFd, &first, sizeof first, MSG_NOSIGNAL) != sizeof first)
        return 1;
    if (first.status != portd::StatusOk)
        return 1;
    return server.serve(portd::kSocketFd);
}
