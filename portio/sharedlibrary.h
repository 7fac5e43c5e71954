// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <string>

// How many characters of a path or of the dynamic loader's text a reason shows: enough to
// keep an install path whole.
inline constexpr std::size_t kLoaderTextChars = 300;

// One shared library opened with dlopen. It stays loaded until the process ends: closing
// this object only lets go of the handle. Each failed step keeps why, in Japanese, or as
// the dynamic loader's own text (dlerror), quoted.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;

    // Opens the library at path (RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE), letting go of any
    // library open before.
    // The path must be absolute: the loader is never left to search for the file.
    bool open(const std::string& path);
    void close();

    // The address of the export name, or nullptr with error() set.
    void* symbol(const char* name);

    bool isOpen() const { return m_handle != nullptr; }
    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_path;
    std::string m_error;
};
