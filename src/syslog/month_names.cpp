#include "syslog/month_names.h"

namespace brennicot {

void MonthNamesInit(MonthNameTable& table) {
  static constexpr const char* kNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 1; m <= 12; ++m) table[m] = kNames[m - 1];
}

}  // namespace brennicot
