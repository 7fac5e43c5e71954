// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh):
// regwise(1), whose real-port library gives these reasons.
#include <cstdio>

#include "kernel/portwindows.h"
#include "uart/comwindows.h"

namespace kernelports {

std::string PortWindows::helperRefusal(int32_t port) {
    char text[32];
    std::snprintf(text, sizeof text, "ポート 0x%X", static_cast<unsigned>(port));
    return std::string(text) + " は COM ポートの範囲（" + uart::comWindowList() +
           "）にも、カーネルが登録したほかのシリアルポートの範囲にもないため、"
           "アクセスしませんでした。";
}

std::string PortWindows::wideRefusal(uint16_t port, int bytes) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "ポート 0x%X から %d バイトは COM ポートやカーネルが登録したシリアル"
                  "ポートの範囲の外にかかるため、アクセスしませんでした。",
                  static_cast<unsigned>(port), bytes);
    return text;
}

}  // namespace kernelports
