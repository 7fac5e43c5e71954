#pragma once

#include <array>
#include <cstdint>

// BitWeight: nine entries, 2^i for i = 0...7 once start-up has filled them; entry 8 stays 0.
using BitWeightTable = std::array<int16_t, 9>;

// (The conversions ToHex, ToHex2, ToDec, BinStr, FromHex, FromBin, FromDec and the decimal
// reading are declared here.)
