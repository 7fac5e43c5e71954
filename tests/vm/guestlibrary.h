// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <dlfcn.h>

#include <fstream>
#include <string>

#include "portio/ioscm.h"

// What the rig's guest programs share: the guard that keeps them off every machine but the
// rig's guest, and a port I/O library opened by path.

// True only inside the rig's guest, whose kernel command line carries regwise.rig=1. On any
// other machine these ports may be a console or a modem.
inline bool onRig() {
    std::ifstream cmdline("/proc/cmdline");
    std::string word;
    while (cmdline >> word) {
        if (word == "regwise.rig=1")
            return true;
    }
    return false;
}

// The exports of ioscm.h, looked up in one library.
struct PortExports {
    IOSCM_StartFn start = nullptr;
    IOSCM_StopFn stop = nullptr;
    IOSCM_InpBFn inpB = nullptr;
    IOSCM_OutBFn outB = nullptr;
    IOSCM_LastErrorFn lastError = nullptr;
};

struct GuestLibrary {
    PortExports ports;

    bool open(const std::string& path) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return false;
        find(handle, ports.start, "IOSCM_Start");
        find(handle, ports.stop, "IOSCM_Stop");
        find(handle, ports.inpB, "InpB");
        find(handle, ports.outB, "OutB");
        find(handle, ports.lastError, "IOSCM_LastError");
        return ports.start && ports.stop && ports.inpB && ports.outB && ports.lastError;
    }

    std::string error() const {
        const char* text = ports.lastError();
        return text ? text : "";
    }

private:
    template <typename Fn>
    static void find(void* handle, Fn& slot, const char* name) {
        slot = reinterpret_cast<Fn>(dlsym(handle, name));
    }
};
