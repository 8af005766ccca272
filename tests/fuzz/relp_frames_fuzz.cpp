// The RELP frame parser with any bytes from a collector, cut into reads anywhere: the frames and
// the verdict do not depend on where the reads fall, no frame's data is longer than the bound,
// each frame written again reads back the same, and any status read has three digits.
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "syslog/relp_frames.h"

namespace brennicot::fuzz {
namespace {

struct Outcome {
  std::vector<RelpFrame> frames;
  bool fine = true;
};

// Feeds `bytes` in reads whose sizes come from `cuts` (over again while bytes remain).
Outcome Parse(std::string_view bytes, std::string_view cuts, std::size_t longest) {
  Outcome outcome;
  RelpParser parser(longest);
  const auto take = [&](RelpFrame&& frame) { outcome.frames.push_back(std::move(frame)); };
  std::size_t turn = 0;
  while (!bytes.empty()) {
    const std::size_t n =
        cuts.empty() ? bytes.size() : 1 + static_cast<std::uint8_t>(cuts[turn++ % cuts.size()]);
    outcome.fine = parser.Feed(bytes.substr(0, n), take);
    bytes.remove_prefix(std::min(n, bytes.size()));
  }
  return outcome;
}

bool Same(const RelpFrame& a, const RelpFrame& b) {
  return std::tie(a.txnr, a.command, a.data) == std::tie(b.txnr, b.command, b.data);
}

}  // namespace
}  // namespace brennicot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brennicot;
  using namespace brennicot::fuzz;
  FuzzInput in(data, size);
  const std::size_t longest = 1 + in.Byte() * 4u;
  const std::string cuts = in.Text(8);
  const std::string bytes = in.Rest();

  const Outcome whole = Parse(bytes, {}, longest);
  const Outcome pieces = Parse(bytes, cuts, longest);
  FUZZ_CHECK(whole.fine == pieces.fine, "the verdict depends on the reads: " + Printable(bytes));
  FUZZ_CHECK(whole.frames.size() == pieces.frames.size(),
             "the frames depend on the reads: " + Printable(bytes));
  for (std::size_t i = 0; i < whole.frames.size(); ++i) {
    const RelpFrame& frame = whole.frames[i];
    FUZZ_CHECK(Same(frame, pieces.frames[i]), "frame " + std::to_string(i) + " differs");
    FUZZ_CHECK(frame.data.size() <= longest, "data beyond the bound");
    FUZZ_CHECK(frame.txnr <= kRelpLargestNumber && !frame.command.empty() &&
                   frame.command.size() <= kRelpCommandMax,
               "a frame out of the grammar: " + Printable(bytes));
    const Outcome again = Parse(RelpFrameText(frame.txnr, frame.command, frame.data), {}, longest);
    FUZZ_CHECK(again.fine && again.frames.size() == 1 && Same(again.frames[0], frame),
               "a frame written again reads differently: " + Printable(frame.data));
    if (const std::optional<RelpStatus> status = ParseRelpStatus(frame.data)) {
      FUZZ_CHECK(status->code >= 0 && status->code <= 999, "status " + Printable(frame.data));
    }
  }
  return 0;
}
