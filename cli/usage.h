#pragma once

#include <string>

namespace cli {

// The usage text in the selected language, printed to standard output.
std::string usage();

}  // namespace cli
