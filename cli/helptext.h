#pragma once

#include <string>

namespace cli {

// What --help prints, for the program of that name.
std::string helpText(const std::string& program);

}  // namespace cli
