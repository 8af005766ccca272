#include "host/frm_brennicot.h"
#include "host/platform.h"

int main(int argc, char** argv) {
  const auto platform = brennicot::MakePlatform(argc, argv);
  return brennicot::Main(*platform);
}
