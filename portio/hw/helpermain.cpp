// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/hw/helpermain.h"

#include <cstdio>
#include <utility>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "portio/hw/portdprotocol.h"

namespace portd {

int helperMain(PortAccessor& ports, std::string lockdownPath) {
    struct stat st {};
    int type = 0;
    socklen_t len = sizeof type;
    if (fstat(kSocketFd, &st) != 0 || !S_ISSOCK(st.st_mode) ||
        getsockopt(kSocketFd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_SEQPACKET) {
        std::fputs("regwise-portd: started by libregwise-portio.so only (fd 3 is not its socket)\n",
                   stderr);
        return 2;
    }
    // Its own process group keeps the signals for the program's group away; a stop signal
    // sent to the helper itself must not end it either while the program restores the UARTs.
    ignoreProgramSignals();
    // Nothing but the socket and the standard streams stays open while privileged.
    syscall(SYS_close_range, kSocketFd + 1, ~0U, 0);

    PortdServer server(ports, std::move(lockdownPath));
    const Reply first = server.start();
    if (send(kSocketFd, &first, sizeof first, MSG_NOSIGNAL) != sizeof first)
        return 1;
    if (first.status != StatusOk)
        return 1;
    return server.serve(kSocketFd);
}

}  // namespace portd
