// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <dlfcn.h>

#include <string>

#include "portio/ioscm.h"

// The exports of ioscm.h looked up by name in a library opened by path: how tests,
// benchmarks and the QEMU rig reach a port I/O library directly. The programs go through
// ModIOSCMdef instead, which opens the library at the first call and explains failures.
struct IoscmExports {
    IOSCM_StartFn start = nullptr;
    IOSCM_StopFn stop = nullptr;
    IOSCM_InpBFn inpB = nullptr;
    IOSCM_OutBFn outB = nullptr;
    IOSCM_InpWFn inpW = nullptr;
    IOSCM_InpDFn inpD = nullptr;
    IOSCM_OutWFn outW = nullptr;
    IOSCM_OutDFn outD = nullptr;
    IOSCM_SequenceFn sequence = nullptr;
    IOSCM_LastErrorFn lastError = nullptr;

    // Opens the library and looks every export up; false when it cannot be opened or an
    // export is missing (dlerror() says why).
    bool open(const std::string& path) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return false;
        return find(handle, start, "IOSCM_Start") && find(handle, stop, "IOSCM_Stop") &&
               find(handle, inpB, "InpB") && find(handle, outB, "OutB") &&
               find(handle, inpW, "InpW") && find(handle, inpD, "InpD") &&
               find(handle, outW, "OutW") && find(handle, outD, "OutD") &&
               find(handle, sequence, "IOSCM_Sequence") &&
               find(handle, lastError, "IOSCM_LastError");
    }

    // The library's reason for the last call of this thread, or empty.
    std::string error() const {
        const char* text = lastError();
        return text != nullptr ? text : "";
    }

private:
    template <typename Fn>
    static bool find(void* handle, Fn& slot, const char* name) {
        slot = reinterpret_cast<Fn>(dlsym(handle, name));
        return slot != nullptr;
    }
};
