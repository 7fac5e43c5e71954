// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/sharedlibrary.h"

#include <utility>

#include <dlfcn.h>

#include "text/quoted.h"

// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh).

namespace {

// The dynamic loader's own text, as it comes but quoted, or fallback when it has none.
std::string takeLoaderError(const std::string& fallback) {
    const char* text = ::dlerror();
    return text != nullptr ? text::quoted(text, kLoaderTextChars) : fallback;
}

std::string shown(const std::string& path) {
    return text::quoted(path, kLoaderTextChars);
}

}  // namespace

SharedLibrary::~SharedLibrary() {
    close();
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)),
      m_path(std::move(other.m_path)),
      m_error(std::move(other.m_error)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool SharedLibrary::open(const std::string& path) {
    close();
    m_path = path;
    m_error.clear();
    // A name without a slash would make dlopen search LD_LIBRARY_PATH and the cache.
    if (path.empty() || path.front() != '/') {
        m_error = shown(path) + ": 絶対パスではありません";
        return false;
    }
    ::dlerror();
    // NODELETE: once loaded, the library stays until the process ends, whatever becomes of
    // this object. Its thread-local last error must not vanish under a thread that set it.
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (m_handle == nullptr) {
        m_error = takeLoaderError(shown(path) + ": 開けません");
        return false;
    }
    return true;
}

void SharedLibrary::close() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

void* SharedLibrary::symbol(const char* name) {
    if (m_handle == nullptr) {
        m_error = std::string(name) + ": ライブラリが開かれていません";
        return nullptr;
    }
    // A null address is only an error when dlerror says so; clear it first.
    ::dlerror();
    void* address = ::dlsym(m_handle, name);
    if (address == nullptr) {
        m_error = takeLoaderError(shown(m_path) + ": " + name + " のアドレスが NULL です");
        return nullptr;
    }
    m_error.clear();
    return address;
}
