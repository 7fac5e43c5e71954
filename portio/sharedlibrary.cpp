// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/sharedlibrary.h"

#include <utility>

#include <dlfcn.h>

namespace {

std::string takeLoaderError(const char* fallback) {
    const char* text = ::dlerror();
    return text != nullptr ? std::string(text) : std::string(fallback);
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
        m_error = path + ": not an absolute path";
        return false;
    }
    ::dlerror();
    // NODELETE: once loaded, the library stays until the process ends, whatever becomes of
    // this object. Its thread-local last error must not vanish under a thread that set it.
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (m_handle == nullptr) {
        m_error = takeLoaderError("cannot be opened");
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
        m_error = std::string(name) + ": no library is open";
        return nullptr;
    }
    // A null address is only an error when dlerror says so; clear it first.
    ::dlerror();
    void* address = ::dlsym(m_handle, name);
    if (address == nullptr) {
        m_error = takeLoaderError("");
        if (m_error.empty())
            m_error = m_path + ": " + name + " has a null address";
        return nullptr;
    }
    m_error.clear();
    return address;
}
