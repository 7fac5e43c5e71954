// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

// Why the calling thread's last call into a port I/O library failed, as IOSCM_LastError
// hands it out (ioscm.h): each export clears it first and sets it on failure. The text lives
// in a plain per-thread buffer, never in an object with a destructor: a thread_local with
// one in a dlopen'ed library makes LeakSanitizer crash at exit in every program that loads
// it. Each library that uses this has its own copy, its symbols being hidden.
namespace lasterror {

inline thread_local char t_text[1024];
inline thread_local bool t_failed = false;

inline void clear() {
    t_failed = false;
}

// Keeps reason, cut to the buffer if need be, never in the middle of a UTF-8 character.
inline void set(std::string_view reason) {
    std::size_t size = std::min(reason.size(), sizeof t_text - 1);
    while (size < reason.size() && size > 0 &&
           (static_cast<unsigned char>(reason[size]) & 0xC0) == 0x80)
        --size;
    std::memcpy(t_text, reason.data(), size);
    t_text[size] = '\0';
    t_failed = true;
}

// The reason, or null when the last call succeeded.
inline const char* text() {
    return t_failed ? t_text : nullptr;
}

}  // namespace lasterror
