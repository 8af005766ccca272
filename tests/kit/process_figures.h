// What the kernel says about a running process: CPU time, resident memory, open descriptors.
#pragma once

#include <sys/types.h>

namespace brennicot::testkit {

// User plus system CPU time so far, in milliseconds; -1 when the process is gone.
long CpuMillis(pid_t pid);
// Resident memory in KiB; -1 when the process is gone.
long RssKib(pid_t pid);
// The most resident memory it has had so far, in KiB; -1 when the process is gone.
long PeakRssKib(pid_t pid);
// Open file descriptors; -1 when the process is gone.
long OpenDescriptors(pid_t pid);

}  // namespace brennicot::testkit
