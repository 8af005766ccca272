// The profile section reader on the default INI file, read from disk as at every start.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "base/product_names.h"
#include "config/ini_loader.h"
#include "config/profile_reader.h"

namespace brennicot::bench {
namespace {

void BM_ProfileReaderDefaultFile(benchmark::State& state) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("vb-bench-profile-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path path = dir / std::string(names::kIniFile);
  const std::string text = DefaultIniText();
  std::ofstream(path, std::ios::binary) << text;

  const auto reader = NewSystemProfileReader();
  const std::string section(names::kIniSection);
  std::size_t block_size = 0;
  for (auto _ : state) {
    const std::string block = reader->ReadSection(section, 4096, path.string());
    block_size = block.size();
    benchmark::DoNotOptimize(block.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  std::filesystem::remove_all(dir);
  if (block_size == 0) state.SkipWithError("the section came back empty");
}
BENCHMARK(BM_ProfileReaderDefaultFile);

}  // namespace
}  // namespace brennicot::bench
