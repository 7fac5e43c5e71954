// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "portio/portlibrary.h"

// How the window and the command line judge the library's session calls, and what they say
// when one fails (the library's reason goes under it). The man page lists every Japanese
// text in this file (both man pages do).
namespace session {

// IOSCM_Start: bit 0 of the result set means it failed.
inline bool started(const PortCall& start) {
    return start.made && (start.value & 1) == 0;
}

// IOSCM_Stop: anything but 0 is a failure.
inline bool stopped(const PortCall& stop) {
    return stop.made && static_cast<int16_t>(stop.value) == 0;
}

inline constexpr const char* kStartFailed = "直接I/O制御処理を開始できません。";
inline constexpr const char* kStopFailed = "直接I/O制御停止処理でエラーが発生しました。";

// A register read or write the library refused: the port in hexadecimal as both programs
// name ports, the data in decimal as the window's OUTPUT row gives it, exactly what the
// library was handed.
inline std::string portText(uint16_t port) {
    char text[8];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(port));
    return text;
}
inline std::string readFailed(uint16_t port) {
    return "ポート0x" + portText(port) + "を読み取れませんでした。";
}
inline std::string writeFailed(uint16_t port, int32_t data) {
    return "ポート0x" + portText(port) + "にデータ" + std::to_string(data) +
           "を書き込めませんでした。";
}

}  // namespace session
