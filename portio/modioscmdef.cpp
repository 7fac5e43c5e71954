// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/modioscmdef.h"

#include <climits>
#include <filesystem>
#include <optional>
#include <type_traits>
#include <utility>

#include "portio/ioscm.h"
#include "portio/programfolder.h"
#include "portio/sharedlibrary.h"
#include "text/quoted.h"

// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh).

// The pointer types the header gives for dlsym must be the exports' own.
static_assert(std::is_same_v<IOSCM_StartFn, decltype(&IOSCM_Start)>);
static_assert(std::is_same_v<IOSCM_StopFn, decltype(&IOSCM_Stop)>);
static_assert(std::is_same_v<IOSCM_InpBFn, decltype(&InpB)>);
static_assert(std::is_same_v<IOSCM_OutBFn, decltype(&OutB)>);
static_assert(std::is_same_v<IOSCM_InpWFn, decltype(&InpW)>);
static_assert(std::is_same_v<IOSCM_InpDFn, decltype(&InpD)>);
static_assert(std::is_same_v<IOSCM_OutWFn, decltype(&OutW)>);
static_assert(std::is_same_v<IOSCM_OutDFn, decltype(&OutD)>);
static_assert(std::is_same_v<IOSCM_SequenceFn, decltype(&IOSCM_Sequence)>);
static_assert(std::is_same_v<IOSCM_LastErrorFn, decltype(&IOSCM_LastError)>);

struct ModIOSCMdef::Impl {
    std::string fileName;
    std::optional<std::vector<std::string>> folders;  // none given: beside the executable
    SharedLibrary library;

    IOSCM_StartFn start = nullptr;
    IOSCM_StopFn stop = nullptr;
    IOSCM_InpBFn inpB = nullptr;
    IOSCM_OutBFn outB = nullptr;
    IOSCM_SequenceFn sequence = nullptr;
    IOSCM_LastErrorFn lastError = nullptr;
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
        if (library.isOpen())
            return true;
        const std::string prefix = std::string(function) + ": ポートI/Oライブラリ " +
                                   text::quoted(fileName, kLoaderTextChars) + " を読み込めません: ";
        if (fileName.empty() || fileName.find('/') != std::string::npos) {
            error = prefix + "ファイル名が空か、/ を含んでいます";
            return false;
        }
        std::string reason;
        for (const std::string& path : candidates(reason)) {
            if (library.open(path)) {
                lastError = nullptr;
                lastErrorMissing = false;
                return true;
            }
            reason += (reason.empty() ? "" : "、") + library.error();
        }
        error = prefix + reason;
        return false;
    }

    template <typename Fn>
    bool resolve(Fn& slot, const char* name, std::string& error) {
        if (slot != nullptr)
            return true;
        if (!ensureLoaded(name, error))
            return false;
        void* address = library.symbol(name);
        if (address == nullptr) {
            // The loader's text names the file and the function; add the file if it does not.
            const std::string& reason = library.error();
            const std::string path = text::quoted(library.path(), kLoaderTextChars);
            error = std::string(name) + ": 関数 " + name + " がポートI/Oライブラリにありません: " +
                    (reason.find(path) != std::string::npos ? reason : path + ": " + reason);
            return false;
        }
        slot = reinterpret_cast<Fn>(address);
        return true;
    }

    // The library's reason for the call just made, or empty when it reports none.
    std::string lastErrorText(const char* function) {
        if (lastError == nullptr && !lastErrorMissing) {
            if (void* address = library.symbol("IOSCM_LastError"))
                lastError = reinterpret_cast<IOSCM_LastErrorFn>(address);
            else
                lastErrorMissing = true;  // optional: such a library gives no reasons
        }
        if (lastError == nullptr)
            return {};
        const char* text = lastError();
        if (text == nullptr)
            return {};
        // Non-null means the call failed, even when the library has no words for it.
        if (*text == '\0')
            return std::string(function) + " が理由を示さずに失敗しました";
        return text;
    }

    template <typename Fn, typename... Args>
    PortCall call(Fn& slot, const char* name, Args... args) {
        PortCall result;
        if (!resolve(slot, name, result.error))
            return result;
        result.made = true;
        result.value = slot(args...);
        result.error = lastErrorText(name);
        return result;
    }
};

ModIOSCMdef::ModIOSCMdef(std::string fileName)
    : m_impl(new Impl{std::move(fileName), std::nullopt, {}}) {}

ModIOSCMdef::ModIOSCMdef(std::string fileName, std::vector<std::string> folders)
    : m_impl(new Impl{std::move(fileName), std::move(folders), {}}) {}

ModIOSCMdef::~ModIOSCMdef() = default;

PortCall ModIOSCMdef::start() {
    return m_impl->call(m_impl->start, "IOSCM_Start");
}
PortCall ModIOSCMdef::stop() {
    return m_impl->call(m_impl->stop, "IOSCM_Stop");
}
PortCall ModIOSCMdef::inpB(int16_t port) {
    return m_impl->call(m_impl->inpB, "InpB", port);
}
PortCall ModIOSCMdef::outB(int16_t port, int16_t data) {
    return m_impl->call(m_impl->outB, "OutB", port, data);
}

bool ModIOSCMdef::runsSequences() {
    std::string error;
    return m_impl->resolve(m_impl->sequence, "IOSCM_Sequence", error);
}

PortCall ModIOSCMdef::sequence(std::span<const IOSCM_Step> steps,
                               std::span<IOSCM_StepResult> results) {
    if (!runsSequences())
        return PortLibrary::sequence(steps, results);
    if (results.size() < steps.size() || steps.size() > INT32_MAX)
        return {true, 0, "IOSCM_Sequence: 結果の場所が手順の数より少ないため、呼びませんでした"};
    return m_impl->call(m_impl->sequence, "IOSCM_Sequence", steps.data(),
                        static_cast<int32_t>(steps.size()), results.data());
}

bool ModIOSCMdef::loaded() const {
    return m_impl->library.isOpen();
}
