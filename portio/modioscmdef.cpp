// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/modioscmdef.h"

#include <filesystem>
#include <optional>
#include <utility>

#include "portio/ioscmexports.h"
#include "portio/programfolder.h"
#include "text/quoted.h"

// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh).

struct ModIOSCMdef::Impl {
    std::string fileName;
    std::optional<std::vector<std::string>> folders;  // none given: beside the executable
    IoscmExports exports;                             // each looked up at its own first call
    bool lastErrorMissing = false;

    // Where the library may be, as absolute paths in the order they are tried; else the
    // reason there is nowhere to look.
    std::vector<std::string> candidates(std::string& reason) const {
        std::vector<std::string> folderList;
        if (folders) {
            folderList = *folders;
        } else {
            folderList = programLibraryFolders();
            if (folderList.empty()) {
                reason = "プログラムのフォルダがわかりません（/proc/self/exe）";
                return {};
            }
        }
        std::vector<std::string> paths;
        for (const std::string& folder : folderList) {
            // Only absolute folders: a relative one would be read against the current one.
            if (folder.empty() || folder.front() != '/')
                continue;
            paths.push_back((std::filesystem::path(folder) / fileName).lexically_normal());
        }
        if (paths.empty())
            reason = "探すフォルダが絶対パスで指定されていません";
        return paths;
    }

    // Opens the library if it is not open yet. A failure is retried at the next call, since
    // the library may have been installed in between.
    bool ensureLoaded(const char* function, std::string& error) {
        if (exports.library.isOpen())
            return true;
        const std::string prefix = std::string(function) + ": ポートI/Oライブラリ " +
                                   text::quoted(fileName, kLoaderTextChars) + " を読み込めません: ";
        if (fileName.empty() || fileName.find('/') != std::string::npos) {
            error = prefix + "ファイル名が空か、/ を含んでいます";
            return false;
        }
        std::string reason;
        for (const std::string& path : candidates(reason)) {
            if (exports.library.open(path)) {
                exports.lastError = nullptr;
                lastErrorMissing = false;
                return true;
            }
            reason += (reason.empty() ? "" : "、") + exports.library.error();
        }
        error = prefix + reason;
        return false;
    }

    template <typename Fn>
    bool resolve(Fn& slot, std::string& error) {
        if (slot != nullptr)
            return true;
        const char* name = exports.nameOf(slot);
        if (!ensureLoaded(name, error))
            return false;
        if (!exports.find(slot)) {
            // The loader's text names the file and the function; add the file if it does not.
            const std::string& reason = exports.library.error();
            const std::string path = text::quoted(exports.library.path(), kLoaderTextChars);
            error = std::string(name) + ": 関数 " + name + " がポートI/Oライブラリにありません: " +
                    (reason.find(path) != std::string::npos ? reason : path + ": " + reason);
            return false;
        }
        return true;
    }

    // The library's reason for the call just made, or empty when it reports none.
    std::string lastErrorText(const char* function) {
        // Optional: a library without it gives no reasons.
        if (exports.lastError == nullptr && !lastErrorMissing)
            lastErrorMissing = !exports.find(exports.lastError);
        if (exports.lastError == nullptr)
            return {};
        const char* text = exports.lastError();
        if (text == nullptr)
            return {};
        // Non-null means the call failed, even when the library has no words for it.
        if (*text == '\0')
            return std::string(function) + " が理由を示さずに失敗しました";
        return text;
    }

    template <typename Fn, typename... Args>
    PortCall call(Fn& slot, Args... args) {
        PortCall result;
        if (!resolve(slot, result.error))
            return result;
        result.made = true;
        result.value = slot(args...);
        result.error = lastErrorText(exports.nameOf(slot));
        return result;
    }
};

ModIOSCMdef::ModIOSCMdef(std::string fileName)
    : m_impl(new Impl{std::move(fileName), std::nullopt, {}}) {}

ModIOSCMdef::ModIOSCMdef(std::string fileName, std::vector<std::string> folders)
    : m_impl(new Impl{std::move(fileName), std::move(folders), {}}) {}

ModIOSCMdef::~ModIOSCMdef() = default;

PortCall ModIOSCMdef::start() {
    return m_impl->call(m_impl->exports.start);
}
PortCall ModIOSCMdef::stop() {
    return m_impl->call(m_impl->exports.stop);
}
PortCall ModIOSCMdef::inpB(int16_t port) {
    return m_impl->call(m_impl->exports.inpB, port);
}
PortCall ModIOSCMdef::outB(int16_t port, int16_t data) {
    return m_impl->call(m_impl->exports.outB, port, data);
}

bool ModIOSCMdef::loaded() const {
    return m_impl->exports.library.isOpen();
}
