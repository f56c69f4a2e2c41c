// The settings document at the size of a large score text.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "common/ini_file.h"

namespace {

void BM_IniFileSetValue(benchmark::State& state) {
  std::vector<std::string> names, keys;
  for (int i = 0; i < 100000; ++i) names.push_back("Object" + std::to_string(i));
  for (int k = 0; k < 20; ++k) keys.push_back("Key" + std::to_string(k));
  IniFile ini;
  for (auto _ : state) {
    ini.Clear();
    for (const std::string& name : names)
      for (const std::string& key : keys) ini.SetValue(name, key, "12345");
  }
  state.counters["entries"] = 2e6;
}
BENCHMARK(BM_IniFileSetValue)->Unit(benchmark::kMillisecond);

void BM_IniFileScatteredLookups(benchmark::State& state) {
  IniFile ini;
  for (int i = 0; i < 100000; ++i)
    for (int k = 0; k < 20; ++k) ini.SetValue("Object" + std::to_string(i), "Key" + std::to_string(k), "1");
  size_t found = 0;
  for (auto _ : state)
    for (int i = 0; i < 100000; ++i)
      found += ini.GetValue("Object" + std::to_string((i * 7919) % 100000), "Key7") != nullptr;
  benchmark::DoNotOptimize(found);
}
BENCHMARK(BM_IniFileScatteredLookups)->Unit(benchmark::kMillisecond);

}  // namespace
