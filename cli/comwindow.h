#pragma once

#include <array>
#include <cstdint>
#include <optional>

// The four COM windows, the only ports the program ever touches: eight ports from each of
// the standard bases. The real helper refuses every other port, so refusing them here
// makes a script fail the same way on the simulator as on hardware, before it runs.
//
// Kept in this one file so it can give way to a shared definition of the windows.
namespace cli {

inline constexpr std::array<int32_t, 4> kComBases{0x3F8, 0x2F8, 0x3E8, 0x2E8};
inline constexpr int32_t kComWindowSize = 8;

// The port's offset from the base of its COM window (0...7), or none outside the windows.
constexpr std::optional<int> comOffset(int32_t port) {
    for (const int32_t base : kComBases) {
        if (port >= base && port < base + kComWindowSize)
            return static_cast<int>(port - base);
    }
    return std::nullopt;
}

constexpr bool inComWindow(int32_t port) {
    return comOffset(port).has_value();
}

}  // namespace cli
