#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/config/ConfigCoding.h"
#include "core/config/ConfigStore.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;

bool nothingInstalled(const std::string&) {
  return false;
}

// A configuration as a user leaves it after a while: every key, a fourth provider, migrations due.
const char* const editedConfig = R"({
  "metric": "used", "style": "both", "barSegments": 8, "separator": " | ",
  "refreshSeconds": 5, "language": "de", "unknownKey": [1, 2, 3],
  "providers": [
    {"id": "claude", "windows": [300, 10080], "icon": "sparkle", "pollSeconds": 600},
    {"id": "codex", "accent": "#10a37f", "windows": [10080]},
    {"id": "glm", "enabled": false},
    {"id": "acme", "label": "Acme AI", "icon": "file:/home/me/acme.png", "accent": "#123456"}
  ]
})";

// Locations inside a fresh temporary folder, so the benchmark never touches the real home.
struct BenchFolder {
  BenchFolder() {
    std::string pattern = (fs::temp_directory_path() / "meterwright-bench-XXXXXX").string();
    path = mkdtemp(pattern.data());
    locations.home = path;
    locations.temporary = path;
    fs::create_directories(path / ".config" / "meterwright");
  }
  ~BenchFolder() { fs::remove_all(path); }
  void write(const std::string& text) {
    std::ofstream(locations.configFile(), std::ios::binary | std::ios::trunc) << text;
  }
  fs::path path;
  FileLocations locations;
};

void BM_ConfigDecodeAndNormalise(benchmark::State& state) {
  for (auto _ : state) {
    auto config = ConfigCoding::decodeConfig(editedConfig, nothingInstalled);
    benchmark::DoNotOptimize(ConfigCoding::encode(*config));
  }
}
BENCHMARK(BM_ConfigDecodeAndNormalise);

void BM_ConfigEncode(benchmark::State& state) {
  Config config = Config::fallback(nothingInstalled);
  for (auto _ : state) benchmark::DoNotOptimize(ConfigCoding::encode(config));
}
BENCHMARK(BM_ConfigEncode);

// The launch path when nothing changed: read, decode, encode, compare, no write.
void BM_ConfigStoreLoadUnchanged(benchmark::State& state) {
  BenchFolder folder;
  ConfigStore::load(folder.locations, nothingInstalled);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ConfigStore::load(folder.locations, nothingInstalled));
  }
}
BENCHMARK(BM_ConfigStoreLoadUnchanged);

// The launch path after a hand edit: the file is rewritten atomically in normal form (with fsync).
void BM_ConfigStoreLoadAndRewrite(benchmark::State& state) {
  BenchFolder folder;
  for (auto _ : state) {
    state.PauseTiming();
    folder.write(editedConfig);
    state.ResumeTiming();
    benchmark::DoNotOptimize(ConfigStore::load(folder.locations, nothingInstalled));
  }
}
BENCHMARK(BM_ConfigStoreLoadAndRewrite);

}  // namespace
}  // namespace meterwright
