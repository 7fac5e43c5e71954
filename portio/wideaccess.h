// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The wide accesses (InpW, InpD, OutW, OutD) of both port I/O libraries, built from byte
// accesses: a wide access touches consecutive ports, lowest first, least significant byte
// first, and stops at the first byte that fails. Each library supplies its byte access and
// holds its own lock around the whole access.

#pragma once

#include <cstdint>
#include <optional>

namespace wideaccess {

// readByte(offset) -> std::optional<uint8_t>; nullopt when that byte failed.
template <typename ReadByte>
std::optional<uint32_t> read(int bytes, ReadByte readByte) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        const std::optional<uint8_t> byte = readByte(i);
        if (!byte)
            return std::nullopt;
        value |= static_cast<uint32_t>(*byte) << (8 * i);
    }
    return value;
}

// writeByte(offset, value) -> bool; false when that byte failed.
template <typename WriteByte>
bool write(int bytes, uint32_t data, WriteByte writeByte) {
    for (int i = 0; i < bytes; ++i) {
        if (!writeByte(i, static_cast<uint8_t>((data >> (8 * i)) & 0xFF)))
            return false;
    }
    return true;
}

// The values the C interface returns: 0 for a failed read, -1 for a failed write.
inline int16_t word(std::optional<uint32_t> value) {
    return value ? static_cast<int16_t>(static_cast<uint16_t>(*value)) : 0;
}

inline int32_t dword(std::optional<uint32_t> value) {
    return value ? static_cast<int32_t>(*value) : 0;
}

inline int16_t written(bool ok) {
    return ok ? 0 : -1;
}

}  // namespace wideaccess
