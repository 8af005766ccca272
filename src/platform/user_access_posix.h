// Whether a user may open a path, as the kernel judges it for that user (owner, groups, ACLs and
// every directory on the way), without opening it: a service may hold a device exclusively.
#pragma once

#include <string>

namespace brennicot::posix {

struct AccessJudgement {
  std::string user;  // whom the kernel judged
  int error = 0;     // errno of the refusal; 0 when nothing is in the way
};

// `mode` as for access(2) (R_OK, W_OK). `user` "" or this process's own user: this process, with
// its effective ids. Another user: judged in a child that takes that user's ids and groups, which
// only root may do; any other process is judged itself. Throws Error for a user the system does
// not know.
AccessJudgement JudgeAccess(const std::string& path, int mode, const std::string& user);

}  // namespace brennicot::posix
