// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <array>
#include <cstdint>

class Dialogs;

// The UART's seven registers at offsets 0...6 from the base address.
inline constexpr int kRegisterCount = 7;

// The base address and the ports of registers 1...6 (base + index); the state holds them as
// ModCommon::PortAdr.
using PortAddresses = std::array<int16_t, kRegisterCount>;

// The register's name as the window shows it, e.g. "回線制御" for index 3.
QString registerName(int index);

// Falls back to 0x3F8, with a message, for a base that is not one of the four COM bases
// (uart::kComBases, the bases the window offers), then sets portAdr[1]...portAdr[6] to
// base + 1...6.
void setPortAddresses(PortAddresses& portAdr, Dialogs& dialogs);

// The captions of fr0...fr6: each register's name and port, e.g. "デバイザラッチ(3F8)".
std::array<QString, kRegisterCount> frameCaptions(const PortAddresses& portAdr);

// A base option was clicked: portAdr[0] := base, then setPortAddresses. The caller recaptions.
void optBase_Click(int16_t base, PortAddresses& portAdr, Dialogs& dialogs);
