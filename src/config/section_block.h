// The entries of a section block as a profile read returns it: "key=value" pieces, each ended by
// NUL. A block cut at the reader's buffer ends in the middle of its last entry; that entry is left
// out, since a cut value ("udpport=51" from "udpport=5140") would be a wrong setting, not a missing
// one.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace brennicot {

// The non-empty entries of `block`, in file order, read through a buffer of `buffer_size`.
std::vector<std::string_view> SectionEntries(std::string_view block, std::int32_t buffer_size);

}  // namespace brennicot
