// Byte streams for the fault tests: what a stream must give, and streams of every byte value.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace e2e {

// The non-empty lines of a byte stream cut at every CR and LF: what the forwarder sends for it in
// layout 3, however its line ends pair up or fall across ticks.
std::vector<std::string> LinesOf(const std::string& bytes);

// Bytes from a fixed-seed generator, each value equally likely (NUL, CR, LF and 0xFF included).
std::string RandomBytes(std::size_t n, unsigned seed);

}  // namespace e2e
