// Whole transfers on a descriptor: everything written, or everything read to the end, with the
// retries after a signal that every caller would otherwise repeat.
#pragma once

#include <functional>
#include <string_view>

namespace brennicot::posix {

// Writes every byte. 0 when done, else the errno of the write that failed.
int WriteAll(int fd, std::string_view bytes);

// Reads to the end of the file, handing each chunk to `take`; stops early when `take` returns
// false. 0 at the end or on such a stop, else the errno of the read that failed.
int ReadAll(int fd, const std::function<bool(std::string_view chunk)>& take);

}  // namespace brennicot::posix
