// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/portaccess.h"

#include "cli/console.h"
#include "cli/exitstatus.h"
#include "cli/numbers.h"
#include "portio/portlibrary.h"

namespace cli {

int withSession(PortLibrary& library, const Console& console, const std::function<int()>& body) {
    // The same test as the window's I/O start: bit 0 of the result set means it failed.
    const PortCall start = library.start();
    if (!start.made || (start.value & 1) != 0) {
        console.message("直接I/O制御処理を開始できません。", start.error);
        return kExitFailed;
    }
    int status = body();
    const PortCall stop = library.stop();
    if (!stop.made || static_cast<int16_t>(stop.value) != 0) {
        console.message("直接I/O制御停止処理でエラーが発生しました。", stop.error);
        if (status == kExitOk)
            status = kExitFailed;
    }
    return status;
}

std::optional<int32_t> readPort(PortLibrary& library, int32_t port, const Console& console) {
    const PortCall call = library.inpB(static_cast<int16_t>(port));
    if (call.failed()) {
        console.message("ポート0x" + hexPort(port) + "を読み取れませんでした。", call.error);
        return std::nullopt;
    }
    return call.value & 0xFF;
}

bool writePort(PortLibrary& library, int32_t port, int32_t value, const Console& console) {
    const PortCall call =
        library.outB(static_cast<int16_t>(port), static_cast<int16_t>(value & 0xFF));
    if (call.failed()) {
        console.message(
            "ポート0x" + hexPort(port) + "にデータ0x" + hexByte(value) + "を書き込めませんでした。",
            call.error);
        return false;
    }
    return true;
}

}  // namespace cli
