// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>

namespace cli {

class Timeline;

// The timeline drawn as a PNG image, without a display: a trace for each line with its name
// on the left, high for 1, and a time axis below; a pulse that only a change bit showed is
// drawn at least two pixels wide and in its own colour. Empty when the image could not be
// encoded.
std::string timelinePng(const Timeline& timeline, int32_t base);

}  // namespace cli
