#include "byte_stream.h"

#include <random>

namespace e2e {

std::vector<std::string> LinesOf(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(byte(gen));
  return out;
}

}  // namespace e2e
