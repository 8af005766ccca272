// Sizes as a report words them, so a limit's text follows the limit when it changes.
#pragma once

#include <cstddef>
#include <string>

namespace brennicot {

// "1 MiB", "64 KiB", "100 bytes": the largest unit the size is a whole number of.
std::string SizeText(std::size_t bytes);

}  // namespace brennicot
