// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Feeds the command line's script reader any bytes, through the same file-descriptor path a
// script file takes, then runs what it accepted against a port library that only records,
// on virtual time (tests/fakes' recording library, keeping no calls). It checks what the command
// line promises whatever a script holds: no crash, a script with any bad line (or one that cannot
// be read) makes no access at all, not even the session start, an accepted one touches only ports
// of the four COM windows, and no message carries a control character but the line feed.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cli/base/console.h"
#include "cli/script/runner.h"
#include "cli/script/scriptfile.h"
#include "tests/fakes/fakeportlibrary.h"
#include "tests/fakes/virtualstoppableclock.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

// The four windows written out again rather than taken from uart::inComWindow, so a fault
// there cannot hide itself.
bool inWindows(int port) {
    const int base = port & ~7;
    return port >= 0 && port <= 0xFFFF &&
           (base == 0x2E8 || base == 0x2F8 || base == 0x3E8 || base == 0x3F8);
}

void checkPrintable(const std::string& text) {
    for (const char c : text)
        check(c == '\n' || static_cast<unsigned char>(c) >= 0x20, "a control character shown");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("script", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) ||
        lseek(fd, 0, SEEK_SET) != 0)
        abort();
    const cli::Script script = cli::readScript(fd, "fuzz.txt");
    close(fd);

    check(script.errors.size() <= cli::kBadLinesShown, "more bad lines listed than the bound");
    FakePortLibrary library;
    library.keepCalls = false;
    library.readValue = [](int16_t) { return 0x61; };
    library.onCall = [](const FakePortLibrary::Call& call) {
        if (call.kind == FakePortLibrary::Call::InpB || call.kind == FakePortLibrary::Call::OutB)
            check(inWindows(static_cast<uint16_t>(call.port)), "an access outside the COM windows");
        if (call.kind == FakePortLibrary::Call::OutB)
            check(call.data >= 0 && call.data <= 0xFF, "a write of more than a byte");
    };
    VirtualStoppableClock pacing;
    std::ostringstream out;
    std::ostringstream err;
    const cli::Console console(out, err, "fuzz");
    const int status = cli::runScript(script, library, console, pacing, true);
    if (!script.runnable()) {
        check(status == 2, "a bad script answered other than 2");
        check(library.made == 0, "a bad script touched the library");
    } else {
        check(status == 0 || status == 1, "a good script answered other than 0 or 1");
    }
    checkPrintable(err.str());
    checkPrintable(out.str());
    return 0;
}
