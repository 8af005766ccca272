// The tmrComm tick: one full input queue of lines per tick, cut and sent through a socket that
// keeps nothing; and a long unterminated remainder that is flushed at the tick that reads nothing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "bench_host.h"

namespace brennicot::bench {
namespace {

// What one tick can take from the port: its input queue.
constexpr std::size_t kQueueBytes = 16384;

void ReportLines(benchmark::State& state, BenchHost& bench) {
  if (bench.Socket().datagrams == 0 || bench.ErrorEntries() != 0) {
    state.SkipWithError("the tick sent nothing or wrote an error line");
    return;
  }
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(bench.Socket().datagrams),
                                                 benchmark::Counter::kIsRate);
  state.counters["ns/line"] =
      benchmark::Counter(static_cast<double>(bench.Socket().datagrams),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Arguments: line length including its LF, msgformat.
void BM_TickFullQueue(benchmark::State& state) {
  BenchHost bench;
  bench.Set("msgformat", std::to_string(state.range(1)));
  const auto chunks = LineChunks(static_cast<std::size_t>(state.range(0)), kQueueBytes);
  std::size_t next = 0;
  for (auto _ : state) {
    bench.Port().queue = chunks[next];
    next = next + 1 == chunks.size() ? 0 : next + 1;
    bench.Host().tmrComm_Timer();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kQueueBytes));
  ReportLines(state, bench);
}
BENCHMARK(BM_TickFullQueue)
    ->ArgNames({"line", "msgformat"})
    ->Args({40, 1})
    ->Args({40, 2})
    ->Args({40, 3})
    ->Args({160, 1})
    ->Args({1000, 1})
    ->Args({4000, 1});

// Argument: remainder length. It comes in over as many full-queue ticks as it needs, then a tick
// that reads nothing sends it as one message (layout 3, so the datagram is exactly the remainder).
void BM_TickRemainder(benchmark::State& state) {
  BenchHost bench;
  bench.Set("buffermax", "65000");
  bench.Set("msgformat", "3");
  const auto length = static_cast<std::size_t>(state.range(0));
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < length; at += kQueueBytes) {
    pieces.push_back(std::string(std::min(kQueueBytes, length - at), 'r'));
  }
  for (auto _ : state) {
    for (const auto& piece : pieces) {
      bench.Port().queue = piece;
      bench.Host().tmrComm_Timer();
    }
    bench.Host().tmrComm_Timer();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
  if (bench.Socket().datagrams != static_cast<std::int64_t>(state.iterations()) ||
      bench.Socket().bytes != static_cast<std::int64_t>(state.iterations() * length)) {
    state.SkipWithError("the remainder did not go out whole, once per round");
  }
}
BENCHMARK(BM_TickRemainder)->ArgName("remainder")->Arg(15000)->Arg(30000)->Arg(60000);

}  // namespace
}  // namespace brennicot::bench
