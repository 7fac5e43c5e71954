// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Runs the rig's register script on the simulated library, on the host, and compares it
// with the transcript the guest printed for the real ports. Only the simulated library is
// ever loaded here.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <dlfcn.h>

#include "tests/vm/registerscript.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: regwise-rig-compare libregwise-portio-sim.so hw-transcript.txt\n",
                   stderr);
        return 2;
    }
    const std::string library = argv[1];
    const auto slash = library.rfind('/');
    if (slash == std::string::npos || library.substr(slash + 1) != "libregwise-portio-sim.so") {
        std::fprintf(stderr, "refusing %s: only the simulated library runs on the host\n",
                     library.c_str());
        return 2;
    }
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto start = reinterpret_cast<int32_t (*)()>(dlsym(handle, "IOSCM_Start"));
    PortFunctions ports;
    ports.inpB = reinterpret_cast<int16_t (*)(int16_t)>(dlsym(handle, "InpB"));
    ports.outB = reinterpret_cast<int16_t (*)(int16_t, int16_t)>(dlsym(handle, "OutB"));
    ports.lastError = reinterpret_cast<const char* (*)()>(dlsym(handle, "IOSCM_LastError"));
    if (!start || !ports.inpB || !ports.outB || (start() & 1) != 0) {
        std::fputs("the simulated library does not start\n", stderr);
        return 2;
    }
    const std::vector<TranscriptLine> sim = runRegisterScript(ports);

    std::vector<TranscriptLine> hw;
    std::ifstream file(argv[2]);
    std::string text;
    while (std::getline(file, text)) {
        TranscriptLine line;
        if (TranscriptLine::parse(text, line))
            hw.push_back(line);
    }
    if (hw.size() != sim.size()) {
        std::printf("transcripts differ in length: real %zu, simulated %zu\n", hw.size(),
                    sim.size());
        return 1;
    }
    int allowed = 0;
    int unexpected = 0;
    for (size_t i = 0; i < hw.size(); ++i) {
        if (hw[i].text() == sim[i].text())
            continue;
        const bool ok = allowedDifference(hw[i], sim[i]);
        (ok ? allowed : unexpected)++;
        std::printf("%s real: %-26s simulated: %s\n", ok ? "allowed   " : "UNEXPECTED",
                    hw[i].text().c_str(), sim[i].text().c_str());
    }
    std::printf("%zu steps compared, %d allowed differences, %d unexpected\n", hw.size(), allowed,
                unexpected);
    return unexpected == 0 ? 0 : 1;
}
