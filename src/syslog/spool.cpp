#include "syslog/spool.h"

#include <deque>
#include <utility>

#include "log/error_trap.h"
#include "platform/path.h"
#include "syslog/stream_framing.h"

namespace brennicot {
namespace {

std::string Messages(std::uint64_t n) {
  return std::to_string(n) + (n == 1 ? " message" : " messages");
}

// Named as the file is, so that each of several forwarders on one machine says which is its own.
// Win32's rules read both separators, so the name comes out right for a path of either system.
std::string SpoolLine(const std::string& path, const std::string& text) {
  return kWin32Paths.NameOf(path) + ": " + text;
}

}  // namespace

SpoolLoad Spool::Load(std::size_t bound, const std::function<std::size_t(std::size_t)>& cost,
                      const std::function<bool(std::string&&)>& take) {
  // The newest that fit: the oldest leave at the front before a message's bytes are gathered,
  // until it fits beside the rest, so no more than the bound is held at any time.
  std::deque<std::string> kept;
  std::size_t kept_cost = 0;
  std::uint64_t dropped = 0;
  const auto make_room = [&](std::size_t size) {
    if (cost(size) > bound) return;  // it will not be kept: nothing gives way to it
    while (!kept.empty() && kept_cost + cost(size) > bound) {
      kept_cost -= cost(kept.front().size());
      kept.pop_front();
      ++dropped;
    }
  };
  const auto keep = [&](std::string&& message) {
    const std::size_t c = cost(message.size());
    if (c > bound) {
      ++dropped;
      return;
    }
    kept_cost += c;
    kept.push_back(std::move(message));
  };
  SpoolDecoder decoder(bound);
  SpoolFiles::Found found = SpoolFiles::Found::kNothing;
  const bool read = RunTrapped(log_, kSpoolWhere, [&] {
    found = files_.Read(path_, kSpoolChunkBytes,
                        [&](std::string_view chunk) { decoder.Feed(chunk, keep, make_room); });
  });
  if (!read || found == SpoolFiles::Found::kNothing) return {};
  if (found == SpoolFiles::Found::kNotAFile) {
    log_.LogWrite(ErrorLine(kSpoolWhere, errnum::kInvalidArgument,
                            path_ + " is a link or not a regular file: left alone, nothing from "
                                    "the last run is read"),
                  LogKind::kError);
    return {};
  }
  const SpoolLoad load{kept.size(), dropped + decoder.PassedOver()};
  std::string line =
      Messages(load.kept) + " from the last run " + (load.kept == 1 ? "goes" : "go") + " first";
  if (load.dropped > 0) {
    line += ", " + std::to_string(load.dropped) + " older " + (load.dropped == 1 ? "one" : "ones") +
            " dropped (queue bound " + std::to_string((bound + 1023) / 1024) + " KiB)";
  }
  log_.LogWrite(SpoolLine(path_, line), LogKind::kInformation);
  if (!decoder.Complete()) {
    log_.LogWrite(ErrorLine(kSpoolWhere, errnum::kInvalidPropertyValue,
                            path_ + " ends inside a message; the rest is lost"),
                  LogKind::kError);
  }
  if (kept.empty()) Remove();
  // Handed over one at a time, each let go here as the taker makes its own copy.
  while (!kept.empty()) {
    std::string message = std::move(kept.front());
    kept.pop_front();
    if (!take(std::move(message))) break;
  }
  return load;
}

void Spool::Save(const std::vector<std::string_view>& messages) {
  if (messages.empty()) return;
  const std::string lost = "; " + Messages(messages.size()) + " lost";
  bool heading = true;
  std::size_t next = 0;
  std::string chunk;
  bool written = false;
  const bool saved = RunTrapped(
      [&] {
        written = files_.Replace(path_, [&]() -> std::string_view {
          chunk.clear();
          if (heading) chunk.append(SpoolHeading());
          heading = false;
          while (next < messages.size() && chunk.size() < kSpoolChunkBytes) {
            chunk += Frame(messages[next++], Framing::kOctet);
          }
          return chunk;
        });
      },
      [&](const Error& e) {
        log_.LogWrite(ErrorLine(kSpoolWhere, e.number(), e.description() + lost), LogKind::kError);
      });
  if (!saved) return;
  if (!written) {
    log_.LogWrite(ErrorLine(kSpoolWhere, errnum::kInvalidArgument,
                            path_ + " is a link or not a regular file: left alone" + lost),
                  LogKind::kError);
    return;
  }
  log_.LogWrite(SpoolLine(path_, Messages(messages.size()) + " kept for the next start"),
                LogKind::kInformation);
}

void Spool::Remove() {
  RunTrapped(log_, kSpoolWhere, [&] { files_.Remove(path_); });
}

}  // namespace brennicot
