#include "realportaccessor.h"

#include <cerrno>

#include <sys/capability.h>
#include <sys/io.h>
#include <sys/prctl.h>

#include "portdprotocol.h"

namespace {

// Clears every capability set we can reach. The I/O permission bitmap set by ioperm is
// not a capability and stays, which is the point: from here on the helper can touch the
// four windows and nothing else.
int dropPrivileges() {
    // The bounding set needs CAP_SETPCAP (present when run as root, absent with only the
    // file capability, where the bounding set cannot grant anything after NO_NEW_PRIVS).
    for (cap_value_t cap = 0; cap <= CAP_LAST_CAP; ++cap)
        cap_drop_bound(cap);
    if (cap_reset_ambient() != 0 && errno != EINVAL)
        return errno;
    cap_t none = cap_init();
    if (none == nullptr)
        return errno;
    const int set = cap_set_proc(none);
    const int setError = errno;
    cap_free(none);
    if (set != 0)
        return setError;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return errno;

    // Trust but verify: refuse to serve while any capability is left.
    cap_t now = cap_get_proc();
    cap_t empty = cap_init();
    if (now == nullptr || empty == nullptr) {
        cap_free(now);
        cap_free(empty);
        return ENOMEM;
    }
    const bool clear = cap_compare(now, empty) == 0;
    cap_free(now);
    cap_free(empty);
    return clear ? 0 : EPERM;
}

}  // namespace

int RealPortAccessor::open() {
    for (uint16_t base : portd::kWindowBases) {
        if (ioperm(base, portd::kWindowSize, 1) != 0)
            return errno;
    }
    return dropPrivileges();
}

uint8_t RealPortAccessor::read(uint16_t port) {
    return inb(port);
}

void RealPortAccessor::write(uint16_t port, uint8_t value) {
    outb(value, port);
}
