// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "portio/portlibrary.h"

// The port I/O library as the program reaches it: the shared library is opened with
// dlopen at the first call of any function, never before, and each function is looked
// up by its export name at its own first call and kept. A library or function that cannot
// be found makes that call fail cleanly with the loader's reason.
class ModIOSCMdef final : public PortLibrary {
public:
    // fileName: the library's file name, e.g. "libregwise-portio-sim.so". It is looked for
    // in programLibraryFolders(), by absolute path.
    explicit ModIOSCMdef(std::string fileName);
    // For tests: look only in these folders, in this order.
    ModIOSCMdef(std::string fileName, std::vector<std::string> folders);
    ~ModIOSCMdef() override;
    ModIOSCMdef(const ModIOSCMdef&) = delete;
    ModIOSCMdef& operator=(const ModIOSCMdef&) = delete;

    PortCall start() override;
    PortCall stop() override;
    PortCall inpB(int16_t port) override;
    PortCall outB(int16_t port, int16_t data) override;
    // IOSCM_Sequence; a library without it runs sequences step by step (PortLibrary's).
    bool runsSequences() override;
    PortCall sequence(std::span<const IOSCM_Step> steps,
                      std::span<IOSCM_StepResult> results) override;

    bool loaded() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
