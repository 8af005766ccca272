#include "syslog/collector_address.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace brennicot {

// Shared by the caller and the look-up's thread, so that whichever lets go last frees it: an
// abandoned look-up writes its answer here and nobody reads it.
struct ThreadedNameLookup::Slot {
  std::mutex mutex;
  std::condition_variable answered;
  std::optional<LookupAnswer> answer;

  void Answer(LookupAnswer a) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      answer = std::move(a);
    }
    answered.notify_all();
  }
};

void ThreadedNameLookup::Start(const std::string& host) {
  auto slot = std::make_shared<Slot>();
  slot_ = slot;
  try {
    std::thread([slot, resolve = resolve_, host] {
      try {
        slot->Answer(resolve(host));
      } catch (const Error& e) {
        slot->Answer(e);
      } catch (const std::bad_alloc&) {
        slot->Answer(Error(errnum::kOutOfMemory, "Out of memory (looking up '" + host + "')"));
      } catch (const std::exception& e) {
        slot->Answer(
            Error(errnum::kInternal, std::string(e.what()) + " (looking up '" + host + "')"));
      }
    }).detach();
  } catch (const std::system_error& e) {
    slot->Answer(
        Error(e.code().value(), std::string(e.what()) + " (no thread to look up '" + host + "')"));
  }
}

std::optional<LookupAnswer> ThreadedNameLookup::Take() {
  if (!slot_) return std::nullopt;
  std::optional<LookupAnswer> answer;
  {
    const std::lock_guard<std::mutex> lock(slot_->mutex);
    answer.swap(slot_->answer);
  }
  if (answer) slot_.reset();
  return answer;
}

void ThreadedNameLookup::Wait(std::chrono::milliseconds bound) {
  if (!slot_) return;
  std::unique_lock<std::mutex> lock(slot_->mutex);
  slot_->answered.wait_for(lock, bound, [&] { return slot_->answer.has_value(); });
}

CollectorAddress::CollectorAddress(std::unique_ptr<NameLookup> lookup,
                                   std::function<Millis()> now_ms, PendingError pending,
                                   Intervals intervals)
    : lookup_(std::move(lookup)),
      now_ms_(std::move(now_ms)),
      pending_(std::move(pending)),
      intervals_(intervals) {}

void CollectorAddress::SetHost(const std::string& host, std::optional<ResolvedAddress> literal) {
  host_ = host;
  address_ = std::move(literal);
  last_error_.reset();
  is_name_ = !address_.has_value();
  if (is_name_) StartLookup();
}

void CollectorAddress::SetHost(const std::string& host, const LiteralParse& parse) {
  std::optional<ResolvedAddress> literal;
  if (!host.empty()) {
    LookupAnswer answer = parse(host);
    if (auto* found = std::get_if<ResolvedAddress>(&answer)) literal = std::move(*found);
  }
  SetHost(host, std::move(literal));
}

void CollectorAddress::AwaitFirstAnswer(std::chrono::milliseconds bound) {
  if (!is_name_ || address_ || !lookup_->Busy()) return;
  lookup_->Wait(bound);
  Collect();
}

ResolvedAddress CollectorAddress::Current() {
  Collect();
  StartIfDue();
  if (address_) return *address_;
  if (last_error_) throw *last_error_;
  throw pending_(host_);
}

void CollectorAddress::SendFailed() {
  if (!is_name_) return;
  // Soon, but a collector that refuses every datagram must not turn into a look-up per message.
  next_due_ = std::min(next_due_, started_at_ + intervals_.retry);
  StartIfDue();
}

void CollectorAddress::LookUpNow() {
  Collect();
  if (is_name_ && !lookup_->Busy()) StartLookup();
}

void CollectorAddress::Collect() {
  if (!is_name_) return;
  std::optional<LookupAnswer> answer = lookup_->Take();
  if (!answer) return;
  if (auto* found = std::get_if<ResolvedAddress>(&*answer)) {
    address_ = std::move(*found);
    last_error_.reset();
    next_due_ = now_ms_() + intervals_.refresh;
  } else {
    // The last good address, if any, stays in use.
    last_error_ = std::get<Error>(std::move(*answer));
    next_due_ = started_at_ + intervals_.retry;
  }
}

void CollectorAddress::StartIfDue() {
  if (is_name_ && !lookup_->Busy() && now_ms_() >= next_due_) StartLookup();
}

void CollectorAddress::StartLookup() {
  started_at_ = now_ms_();
  lookup_->Start(host_);
}

CollectorAddress::Intervals IntervalsFromEnvironment() {
  CollectorAddress::Intervals intervals;
  if (const char* text = std::getenv("BRENNICOT_REFRESH_SECONDS")) {
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && seconds >= 1 && seconds <= 3600) {
      intervals.refresh = seconds * 1000;
      intervals.retry = std::min(intervals.retry, intervals.refresh);
    }
  }
  return intervals;
}

std::unique_ptr<CollectorAddress> MakeCollectorAddress(
    const std::string& host, ThreadedNameLookup::Resolver resolve,
    const CollectorAddress::LiteralParse& parse, CollectorAddress::PendingError pending,
    std::function<CollectorAddress::Millis()> now_ms) {
  auto address = std::make_unique<CollectorAddress>(
      std::make_unique<ThreadedNameLookup>(std::move(resolve)), std::move(now_ms),
      std::move(pending), IntervalsFromEnvironment());
  address->SetHost(host, parse);
  return address;
}

}  // namespace brennicot
