// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// libregwise-portio.so: the port I/O library on the machine's real ports. It never
// touches a port itself; every access is one request to the helper regwise-portd, which
// alone holds the right to.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "kernel/portwindows.h"
#include "portio/hw/helperclient.h"
#include "portio/hw/helperplaces.h"
#include "portio/ioscm.h"
#include "portio/lasterror.h"
#include "portio/sequencerunner.h"
#include "portio/wideaccess.h"

namespace {

// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh).

void clearError() {
    lasterror::clear();
}

void fail(const std::string& text) {
    lasterror::set(text);
}

std::mutex g_mutex;
std::optional<HelperClient> g_client;
// The windows the helper opens, read when the session starts as the helper reads them when it
// starts: the wide forms check every byte against them too.
kernelports::PortWindows g_windows;

HelperClient& client() {
    if (!g_client)
        g_client.emplace(helperPlaces());
    return *g_client;
}

uint16_t portNumber(int16_t port) {
    return static_cast<uint16_t>(port);
}

// The wide forms as consecutive byte accesses, low byte first, after checking that every
// byte lies inside the windows so none is touched unless all can be.
bool wideAllowed(int16_t port, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        const int32_t at = portNumber(port) + i;
        if (!g_windows.contains(at)) {
            fail(kernelports::PortWindows::wideRefusal(portNumber(port), bytes));
            return false;
        }
    }
    return true;
}

std::optional<uint32_t> readWide(int16_t port, int bytes) {
    clearError();
    const std::lock_guard lock(g_mutex);
    if (!wideAllowed(port, bytes))
        return std::nullopt;
    return wideaccess::read(bytes, [port](int offset) -> std::optional<uint8_t> {
        const HelperClient::Result r = client().read(portNumber(port) + offset);
        if (!r.error.empty()) {
            fail(r.error);
            return std::nullopt;
        }
        return static_cast<uint8_t>(r.value & 0xFF);
    });
}

int16_t writeWide(int16_t port, uint32_t data, int bytes) {
    clearError();
    const std::lock_guard lock(g_mutex);
    if (!wideAllowed(port, bytes))
        return -1;
    return wideaccess::written(wideaccess::write(bytes, data, [port](int offset, uint8_t value) {
        const HelperClient::Result r = client().write(portNumber(port) + offset, value);
        if (!r.error.empty()) {
            fail(r.error);
            return false;
        }
        return true;
    }));
}

}  // namespace

extern "C" {

int32_t IOSCM_Start(void) {
    clearError();
    const std::lock_guard lock(g_mutex);
    const std::string error = client().start();
    if (error.empty()) {
        g_windows = kernelports::PortWindows::fromSysfs("/sys", kernelports::Source::SysfsOnly);
        return 0;
    }
    fail(error);
    return 1;
}

int16_t IOSCM_Stop(void) {
    clearError();
    const std::lock_guard lock(g_mutex);
    const std::string error = client().stop();
    if (error.empty())
        return 0;
    fail(error);
    return 1;
}

int16_t InpB(int16_t port) {
    clearError();
    const std::lock_guard lock(g_mutex);
    const HelperClient::Result r = client().read(portNumber(port));
    if (!r.error.empty()) {
        fail(r.error);
        return 0;
    }
    return static_cast<int16_t>(r.value & 0xFF);
}

int16_t OutB(int16_t port, int16_t data) {
    clearError();
    const std::lock_guard lock(g_mutex);
    const HelperClient::Result r = client().write(portNumber(port), data & 0xFF);
    if (!r.error.empty()) {
        fail(r.error);
        return -1;
    }
    return 0;
}

int16_t InpW(int16_t port) {
    return wideaccess::word(readWide(port, 2));
}

int32_t InpD(int16_t port) {
    return wideaccess::dword(readWide(port, 4));
}

int16_t OutW(int16_t port, int16_t data) {
    return writeWide(port, static_cast<uint16_t>(data), 2);
}

int16_t OutD(int16_t port, int32_t data) {
    return writeWide(port, static_cast<uint32_t>(data), 4);
}

int32_t IOSCM_Sequence(const IOSCM_Step* steps, int32_t count, IOSCM_StepResult* results) {
    clearError();
    // What is refused whatever the ports, said here in full; the helper checks every port.
    if (const std::optional<std::string> refused =
            sequencerunner::callRefusal(steps, count, results)) {
        fail(*refused);
        return 0;
    }
    const std::span<const IOSCM_Step> list(steps, static_cast<std::size_t>(count));
    const std::lock_guard lock(g_mutex);
    const HelperClient::Result r = client().sequence(list, std::span(results, list.size()));
    if (!r.error.empty())
        fail(r.error);
    return r.value;
}

const char* IOSCM_LastError(void) {
    return lasterror::text();
}

}  // extern "C"
