// The tmrComm tick of a host over fakes, fed any sequence of serial chunks with any buffermax and
// checkseq, against a model written step by step from the rules of line assembly. After every
// tick the host must have sent exactly what the model sent, hold exactly what it holds (never a
// line end), and in the end every byte that is not a line end has gone out once, in order.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/host_fakes.h"
#include "fuzz/fuzz_support.h"
#include "host/frm_brennicot.h"

namespace brennicot::fuzz {
namespace {

constexpr std::string_view kPrefix = "This is Syslog test message number ";

// The first CR or LF at or after `from`, or npos. A plain loop: the library's find_first_of
// tests each byte against the set one call at a time, which dominated the run time here.
FUZZ_UNTRACED std::size_t FindLineEnd(std::string_view s, std::size_t from) {
  for (std::size_t i = from; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') return i;
  }
  return std::string::npos;
}

bool HasLineEnd(std::string_view s) {
  return FindLineEnd(s, 0) != std::string::npos;
}

// The line assembly and sequence check in their plainest form: find, send, erase from the front.
class Model {
 public:
  Model(double buffermax, std::optional<bool> checkseq)
      : buffermax_(buffermax), checkseq_(checkseq) {}

  std::vector<std::string> sent;
  std::vector<std::string> reports;  // INSEQERR texts
  int failures = 0;                  // error lines of the tick
  std::string buffer;

  FUZZ_UNTRACED void Tick(const std::string& input) {
    bool switch_failed = false;
    if (input.empty()) {
      if (!buffer.empty()) Send(buffer);
      buffer.clear();
      return;
    }
    buffer += input;
    // Lines are taken from the front by an offset and erased once per tick, which is the same
    // as erasing each line but keeps long inputs cheap.
    std::size_t front = 0;
    for (;;) {
      const std::size_t end = FindLineEnd(buffer, front);
      if (end == std::string::npos) break;
      const std::string line = buffer.substr(front, end - front);
      if (!line.empty()) {
        Send(line);
        // A checkseq that is not a number fails the tick once; a field that cannot be read
        // fails its own line, and the lines after it are still checked.
        if (!checkseq_) {
          switch_failed = true;
        } else if (*checkseq_ && !Check(line)) {
          ++failures;
        }
      }
      front = end + 1;
      if (front < buffer.size() && (buffer[front] == '\r' || buffer[front] == '\n')) ++front;
    }
    buffer.erase(0, front);
    if (!buffer.empty() && buffermax_ < static_cast<double>(buffer.size())) {
      Send(buffer);
      buffer.clear();
    }
    if (switch_failed) ++failures;
  }

  std::int32_t expected = 0;

 private:
  // A text longer than one datagram leaves in pieces that each fill one (layout 3: no header).
  void Send(const std::string& text) {
    for (std::size_t at = 0; at < text.size(); at += kMaxUdpPayloadIpv4) {
      sent.push_back(text.substr(at, kMaxUdpPayloadIpv4));
    }
  }

  // False when the check could not be made (a field or the count beyond 32 bits).
  bool Check(const std::string& line) {
    if (line.size() != kPrefix.size() + 4 || line.compare(0, kPrefix.size(), kPrefix) != 0) {
      return true;
    }
    if (expected == INT32_MAX) return false;
    ++expected;
    std::int32_t received = 0;
    if (!ReferenceToInt32(ReferenceNumericValue(line.substr(kPrefix.size())), &received)) {
      return false;
    }
    if (received != expected) {
      reports.push_back("INSEQERR - expected " + std::to_string(expected) + " received " +
                        std::to_string(received));
      expected = received;
    }
    return true;
  }

  double buffermax_;
  std::optional<bool> checkseq_;  // empty: not a number
};

const char* const kBufferMaxTexts[] = {"4096", "501", "65506", "0",   "-1", "abc",
                                       "",     "1e9", " 12",   "1.5", "3",  "nan"};
const char* const kCheckSeqTexts[] = {"1", "0", "1.0", " 1 ", "x", "", "2", "+1"};

std::string BufferMax(FuzzInput& in) {
  switch (in.Byte() % 4) {
    case 0:
      return kBufferMaxTexts[in.Byte() % std::size(kBufferMaxTexts)];
    case 1:
      return std::to_string(in.U16());
    case 2:
      return std::to_string(in.Byte());  // small: overflow flushes all the time
    default:
      return in.Text(8);
  }
}

// One chunk of serial input; empty means a tick that finds nothing waiting.
std::string Chunk(FuzzInput& in) {
  const std::uint8_t op = in.Byte();
  if (op == 255) {  // a long run of one byte, to reach buffermax cheaply
    const std::size_t n = 1 + in.U16() % 8192;
    return std::string(n, static_cast<char>(in.Byte()));
  }
  if (op == 254) {  // a test line with any sequence field
    return std::string(kPrefix) + in.Bytes(4) + "\r\n";
  }
  return in.Bytes(op);
}

std::string Where(const std::string& what, std::size_t tick) {
  return what + " after tick " + std::to_string(tick);
}

}  // namespace
}  // namespace brennicot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brennicot;
  using namespace brennicot::fuzz;
  FuzzInput in(data, size);
  const std::string buffermax = BufferMax(in);
  const std::string checkseq = kCheckSeqTexts[in.Byte() % std::size(kCheckSeqTexts)];

  fakes::FakePlatform platform;
  platform.arguments = "-interact";
  auto host = std::make_unique<frmBrennicot>(platform);
  host->FormLoad();                        // loads the defaults and starts up over the fakes
  host->Settings().Set("msgformat", "3");  // the payload is the line itself
  host->Settings().Set("buffermax", buffermax);
  host->Settings().Set("checkseq", checkseq);
  const std::size_t log_lines_before = platform.files.LogMessages().size();

  double checkseq_value = 0;
  std::optional<bool> check;
  if (ReferenceToNumber(checkseq, &checkseq_value)) check = checkseq_value == 1;
  Model model(ReferenceNumericValue(buffermax), check);

  std::string all_input;
  std::size_t tick = 0;
  std::size_t checked = 0;  // datagrams already compared with the model
  // Long runs make big inputs cheap to write; well past the largest buffermax (65506) they only
  // cost time.
  constexpr std::size_t kInputBudget = 96 * 1024;
  while (!in.Empty() && all_input.size() < kInputBudget) {
    const std::string chunk = Chunk(in);
    all_input += chunk;
    platform.port->queue += chunk;
    host->tmrComm_Timer();
    model.Tick(chunk);
    ++tick;
    FUZZ_CHECK(platform.port->queue.empty(), Where("bytes left in the port", tick));
    const std::vector<std::string>& sent = platform.socket->sent;
    FUZZ_CHECK(sent.size() == model.sent.size(), Where("sent count differs from the model", tick));
    for (; checked < sent.size(); ++checked) {
      FUZZ_CHECK(sent[checked] == model.sent[checked],
                 Where("datagram " + std::to_string(checked) + " differs from the model", tick));
    }
    // What the buffer holds, taken out and put back as it was.
    const std::string held = host->Receive().TakeAll();
    host->Receive().Append(held);
    FUZZ_CHECK(held == model.buffer, Where("buffer '" + Printable(held) + "' differs", tick));
    FUZZ_CHECK(!HasLineEnd(held), Where("a line end stayed in the buffer", tick));
    FUZZ_CHECK(host->Receive().Length() == held.size(), Where("length and content disagree", tick));
  }
  host->tmrComm_Timer();  // an idle tick flushes what is left
  model.Tick("");

  // Every byte that is not a line end went out exactly once, in order, and nothing else did.
  std::string out;
  for (const std::string& payload : platform.socket->sent) {
    FUZZ_CHECK(!payload.empty(), "an empty datagram was sent");
    FUZZ_CHECK(!HasLineEnd(payload), "a line end was sent");
    out += payload;
  }
  std::string expected;
  for (std::size_t from = 0; from < all_input.size();) {
    const std::size_t end = std::min(FindLineEnd(all_input, from), all_input.size());
    expected.append(all_input, from, end - from);
    from = end + 1;
  }
  FUZZ_CHECK(out == expected, "the bytes sent are not the bytes received");
  FUZZ_CHECK(host->Receive().Length() == 0, "the idle tick left something in the buffer");

  std::vector<std::string> reports;
  int failures = 0;
  const std::vector<std::string> log = platform.files.LogMessages();
  for (std::size_t i = log_lines_before; i < log.size(); ++i) {
    if (log[i].rfind("INSEQERR", 0) == 0) {
      reports.push_back(log[i]);
    } else {
      FUZZ_CHECK(log[i].rfind("frmBrennicot:tmrComm err#:", 0) == 0, "log line " + log[i]);
      ++failures;
    }
  }
  FUZZ_CHECK(reports == model.reports, "INSEQERR lines differ from the model");
  FUZZ_CHECK(failures == model.failures, "tmrComm error lines differ from the model");
  FUZZ_CHECK(host->ExpectedSequence() == model.expected, "expected sequence number differs");
  return 0;
}
