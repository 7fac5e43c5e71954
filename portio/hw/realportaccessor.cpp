// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/hw/realportaccessor.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/capability.h>
#include <sys/io.h>
#include <sys/prctl.h>
#include <sys/statvfs.h>

#include "kernel/portwindows.h"
#include "portio/hw/portdprotocol.h"
#include "uart/registers.h"

namespace {

// Clears every capability set we can reach. The I/O permission bitmap set by ioperm is
// not a capability and stays, which is the point: from here on the helper can touch the
// windows it opened (the four COM windows and the kernel's other UARTs') and nothing else.
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
    return 0;
}

// Trust but verify: the helper refuses to serve while any capability is left.
bool noCapabilityLeft() {
    cap_t now = cap_get_proc();
    cap_t empty = cap_init();
    const bool clear = now != nullptr && empty != nullptr && cap_compare(now, empty) == 0;
    cap_free(now);
    cap_free(empty);
    return clear;
}

bool rawioPermitted() {
    cap_t caps = cap_get_proc();
    cap_flag_value_t held = CAP_CLEAR;
    if (caps != nullptr)
        cap_get_flag(caps, CAP_SYS_RAWIO, CAP_PERMITTED, &held);
    cap_free(caps);
    return held == CAP_SET;
}

bool traced() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0)
            return std::atoi(line.c_str() + 10) != 0;
    }
    return false;
}

// What decides whether a file capability took effect, read before anything changes it.
void recordStartFacts(OpenOutcome& outcome) {
    outcome.rawioPermitted = rawioPermitted();
    outcome.noNewPrivs = prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) == 1;
    outcome.traced = traced();
    struct statvfs mount {};
    outcome.nosuidMount = statvfs("/proc/self/exe", &mount) == 0 && (mount.f_flag & ST_NOSUID);
}

}  // namespace

OpenOutcome RealPortAccessor::open() {
    OpenOutcome outcome;
    recordStartFacts(outcome);
    // Besides the COM windows, exactly the windows of the UARTs the kernel itself registered
    // with port I/O, read from sysfs here, once, before any port is asked for. Nothing the
    // client sends can widen the list: the helper takes no argument or environment, and
    // sysfs is the kernel's own. A process could see another /sys only in a mount namespace
    // of its own, which an unprivileged user gets only inside a user namespace of its own,
    // where the file capability no longer counts for ioperm (the kernel checks CAP_SYS_RAWIO
    // in the initial namespace), so the helper would be refused the ports anyway. Every file
    // must still lie on sysfs, a window is never below 0x100 or on the PCI configuration
    // ports, and it lies inside the I/O ranges of its device where sysfs lists them.
    const kernelports::PortWindows windows =
        kernelports::PortWindows::fromSysfs("/sys", kernelports::Source::SysfsOnly);
    outcome.otherWindows = windows.otherWindows;
    for (const uint16_t base : windows.bases()) {
        if (ioperm(base, uart::kPortsPerUart, 1) != 0) {
            outcome.failedStep = OpenOutcome::GainPorts;
            outcome.error = errno;
            return outcome;
        }
    }
    outcome.error = dropPrivileges();
    if (outcome.error != 0)
        outcome.failedStep = OpenOutcome::DropPrivileges;
    else if (!noCapabilityLeft())
        outcome.failedStep = OpenOutcome::CheckDropped;
    return outcome;
}

uint8_t RealPortAccessor::read(uint16_t port) {
    return inb(port);
}

void RealPortAccessor::write(uint16_t port, uint8_t value) {
    outb(value, port);
}
