// MessageSend in each layout, with the default settings and a socket that keeps nothing.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_host.h"

namespace brennicot::bench {
namespace {

// Argument: msgformat.
void BM_MessageSend(benchmark::State& state) {
  BenchHost bench;
  bench.Set("msgformat", std::to_string(state.range(0)));
  const std::string text = "Door 3 open, zone 7, reading 000000000";  // a 39-character line
  for (auto _ : state) bench.Host().MessageSend(text);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  if (bench.Socket().datagrams != static_cast<std::int64_t>(state.iterations()) ||
      bench.ErrorEntries() != 0) {
    state.SkipWithError("not every call sent one datagram");
  }
}
BENCHMARK(BM_MessageSend)->ArgName("msgformat")->Arg(1)->Arg(2)->Arg(3);

}  // namespace
}  // namespace brennicot::bench
