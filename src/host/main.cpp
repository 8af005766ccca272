#include <string>
#include <vector>

#include "host/brennicot_main.h"
#include "platform/posix/platform.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  brennicot::posix::PosixPlatform platform(std::move(arguments));
  return brennicot::Main(platform);
}
