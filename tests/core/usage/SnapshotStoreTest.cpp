#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>

#include "core/usage/SampleSnapshot.h"
#include "core/usage/SnapshotStore.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using namespace testing;
constexpr double week = SnapshotStore::sevenDays;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

class SnapshotStoreTest : public ::testing::Test {
 protected:
  fs::path file() const { return SnapshotStore::url(locations); }
  std::optional<Snapshot> load() const {
    return SnapshotStore::load(week, addingSeconds(sampleTime, 60), locations);
  }

  TemporaryFolder temp;
  FileLocations locations = temp.locations();
};

TEST_F(SnapshotStoreTest, LoadRefusesReadingsAsOldAsTheMaximumAgeButTakesOnesFromTheFuture) {
  // The last two lie centuries from their loading time, further than nanosecond Dates can subtract.
  using Row = std::tuple<double, double, double, bool>;  // generated, age when loaded, limit, loads
  for (auto [generatedAt, age, maximumAge, loads] :
       {Row{0, week - 1, week, true}, Row{0, week, week, false}, Row{0, 59.5, 60, true},
        Row{0, 60, 60, false}, Row{0, 0, 0, false}, Row{0, -3600, week, true},
        Row{-1e10, 1e10, week, false}, Row{7e9, -1e10, week, true}}) {
    Snapshot snapshot = sampleSnapshot();
    snapshot.generatedAt = addingSeconds(sampleTime, generatedAt);
    SnapshotStore::save(snapshot, locations);
    auto loaded =
        SnapshotStore::load(maximumAge, addingSeconds(snapshot.generatedAt, age), locations);
    EXPECT_EQ(loaded, loads ? std::optional(snapshot) : std::nullopt) << generatedAt << " " << age;
  }
}

TEST_F(SnapshotStoreTest, LoadGivesNothingForDamagedOrIncompleteFilesButIgnoresUnknownKeys) {
  const std::string deep = std::string(200'000, '[') + std::string(200'000, ']');
  using Row = std::pair<const char*, std::string>;
  for (const auto& [name, bytes] :
       {Row{"fractional seconds", replaced(sampleText, "30:00Z", "30:00.5Z")},
        Row{"no sourcePath", replaced(sampleText, R"(,"sourcePath":"direct")", "")},
        Row{"empty", ""}, Row{"binary", std::string("\x89PNG\r\n\x1a\n\0\0\xff", 11)},
        Row{"invalid UTF-8", replaced(sampleText, "Claude", "Cl\xC3\x28ude")},
        Row{"deep nesting", deep}, Row{"1e999", replaced(sampleText, ":50,", ":1e999,")},
        Row{"NaN", replaced(sampleText, ":50,", ":NaN,")},
        // Valid but padded: only the size bound keeps it out.
        Row{"oversized", sampleText + std::string(20 << 20, ' ')}}) {
    writeFile(file(), bytes);
    EXPECT_EQ(load(), std::nullopt) << name;
  }
  writeFile(file(), replaced(sampleText, "\"sourcePath\"", "\"version\":2,\"sourcePath\"") + "\n");
  EXPECT_EQ(load(), sampleSnapshot());
}

TEST_F(SnapshotStoreTest, ASaveWritesCompactJsonThatLoadsBackOrIfItCannotCompleteChangesNothing) {
  SnapshotStore::save(sampleSnapshot(), locations);
  EXPECT_EQ(readFile(locations.supportFolder() / "last-snapshot.json"), sampleText);
  EXPECT_EQ(load(), sampleSnapshot());
  Snapshot unencodable = sampleSnapshot(), notUtf8 = sampleSnapshot();
  unencodable.providers[0].windows[0].usedPercent = NAN;
  notUtf8.providers[0].name = "\xFF\xFE";
  SnapshotStore::save(unencodable, locations);
  SnapshotStore::save(notUtf8, locations);
  EXPECT_EQ(readFile(file()), sampleText);

  fs::remove(file());
  fs::create_directories(file() / "inside");
  SnapshotStore::save(sampleSnapshot(), locations);
  EXPECT_TRUE(fs::is_directory(file() / "inside"));
  EXPECT_EQ(load(), std::nullopt);

  fs::remove_all(locations.supportFolder());
  writeFile(locations.supportFolder(), "not a folder");
  SnapshotStore::save(sampleSnapshot(), locations);
  EXPECT_EQ(readFile(locations.supportFolder()), "not a folder");
}

TEST_F(SnapshotStoreTest, MergeReplacesOnlyTheFreshProvidersAndWritesOnlyOnChange) {
  auto reading = [](std::string id, double used, double minutesAgo) {
    Date observed = addingSeconds(sampleTime, -60 * minutesAgo);
    return ProviderSnapshot{id, id, {}, "live", observed, {{300, used, {}, {}}}};
  };
  Date now = addingSeconds(sampleTime, 60);
  // Two processes, each with one provider's fresh reading.
  SnapshotStore::merge({reading("codex", 20, 5)}, now, locations);
  SnapshotStore::merge({reading("claude", 10, 1), reading("alpha", 1, 30)}, now, locations);
  Snapshot expected{addingSeconds(sampleTime, -60),
                    {reading("alpha", 1, 30), reading("claude", 10, 1), reading("codex", 20, 5)},
                    std::nullopt,
                    "direct"};
  EXPECT_EQ(load(), expected);

  auto written = fs::last_write_time(file()) - std::chrono::hours(1);
  fs::last_write_time(file(), written);
  SnapshotStore::merge({reading("codex", 20, 5)}, now, locations);
  EXPECT_EQ(fs::last_write_time(file()), written);
  SnapshotStore::merge({reading("codex", 21, 0)}, now, locations);
  EXPECT_EQ(load()->providers.back(), reading("codex", 21, 0));
}

}  // namespace
}  // namespace meterwright
