#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "core/usage/SnapshotStore.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;

Date at(int y, unsigned m, unsigned d, int h, int mi, int s = 0) {
  using namespace std::chrono;
  return Date{sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{mi} + seconds{s}};
}

const Date generated = at(2025, 3, 1, 9, 30);
const Date aMinuteLater = addingSeconds(generated, 60);

Snapshot smallSnapshot() {
  return Snapshot{generated,
                  {ProviderSnapshot{"claude",
                                    "Claude",
                                    std::nullopt,
                                    "live",
                                    std::nullopt,
                                    {UsageWindow{300, 42.5, at(2025, 3, 1, 12, 0), std::nullopt}}}},
                  std::nullopt,
                  "direct"};
}

const std::string smallText =
    R"({"generatedAt":"2025-03-01T09:30:00Z","providers":[{"id":"claude","name":"Claude",)"
    R"("state":"live","windows":[{"windowMinutes":300,"usedPercent":42.5,)"
    R"("resetsAt":"2025-03-01T12:00:00Z"}]}],"sourcePath":"direct"})";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  auto position = text.find(from);
  if (position == std::string::npos) throw std::invalid_argument(from);
  return text.replace(position, from.size(), to);
}

class SnapshotStoreTest : public ::testing::Test {
 protected:
  fs::path file() const { return SnapshotStore::url(locations); }
  std::optional<Snapshot> loadAt(Date now, double maximumAge = SnapshotStore::sevenDays) const {
    return SnapshotStore::load(maximumAge, now, locations);
  }
  std::vector<fs::path> supportFolderEntries() const {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(locations.supportFolder())) {
      entries.push_back(entry.path().filename());
    }
    return entries;
  }

  TemporaryFolder temp;
  FileLocations locations = temp.locations();
};

TEST_F(SnapshotStoreTest, FileLivesInTheSupportFolderOrElseTheTemporaryFolder) {
  EXPECT_EQ(file(), *locations.applicationSupport / "Meterwright" / "last-snapshot.json");
  locations.applicationSupport.reset();
  EXPECT_EQ(file(), locations.temporary / "Meterwright" / "last-snapshot.json");

  SnapshotStore::save(smallSnapshot(), locations);
  EXPECT_EQ(readFile(locations.temporary / "Meterwright" / "last-snapshot.json"), smallText);
}

TEST_F(SnapshotStoreTest, SaveCreatesTheFoldersAndWritesCompactJsonWithIsoDates) {
  ASSERT_FALSE(fs::exists(*locations.applicationSupport));
  SnapshotStore::save(smallSnapshot(), locations);
  EXPECT_EQ(readFile(file()), smallText);
  EXPECT_EQ(supportFolderEntries(), std::vector<fs::path>{"last-snapshot.json"});
}

TEST_F(SnapshotStoreTest, SaveReplacesThePreviousReading) {
  SnapshotStore::save(smallSnapshot(), locations);
  Snapshot next = smallSnapshot();
  next.providers[0].windows[0].usedPercent = 80;
  SnapshotStore::save(next, locations);
  EXPECT_EQ(loadAt(aMinuteLater), next);
}

TEST_F(SnapshotStoreTest, ReadingsRoundTripExactly) {
  Snapshot full{generated,
                {ProviderSnapshot{"claude",
                                  "Claude",
                                  "max",
                                  "cached",
                                  at(2025, 3, 1, 9, 29, 59),
                                  {UsageWindow{300, 99.6, at(2025, 3, 1, 12, 0), "sonnet"},
                                   UsageWindow{10080, 0.1 + 0.2, at(2025, 3, 5, 0, 0, 1), "opus"}}},
                 ProviderSnapshot{"codex",
                                  "Codex — ベータ",
                                  "pro",
                                  "live",
                                  generated,
                                  {UsageWindow{90, -5, generated, ""}}}},
                "composite \"quoted\"\n",
                "direct"};
  Snapshot bare{generated,
                {ProviderSnapshot{"glm", "GLM", std::nullopt, "unavailable", std::nullopt, {}},
                 ProviderSnapshot{"codex",
                                  "Codex",
                                  std::nullopt,
                                  "live",
                                  std::nullopt,
                                  {UsageWindow{300, 0, std::nullopt, std::nullopt}}}},
                std::nullopt,
                ""};
  for (const Snapshot& snapshot : {full, bare, Snapshot{generated, {}, std::nullopt, "direct"}}) {
    SnapshotStore::save(snapshot, locations);
    EXPECT_EQ(loadAt(aMinuteLater), snapshot);
  }
}

TEST_F(SnapshotStoreTest, LoadGivesNothingWithoutAFile) {
  EXPECT_EQ(loadAt(aMinuteLater), std::nullopt);
  fs::create_directories(file());
  EXPECT_EQ(loadAt(aMinuteLater), std::nullopt);
}

TEST_F(SnapshotStoreTest, LoadRefusesReadingsAsOldAsTheMaximumAge) {
  SnapshotStore::save(smallSnapshot(), locations);
  EXPECT_EQ(loadAt(addingSeconds(generated, SnapshotStore::sevenDays - 1)), smallSnapshot());
  EXPECT_EQ(loadAt(addingSeconds(generated, SnapshotStore::sevenDays)), std::nullopt);
  EXPECT_EQ(loadAt(addingSeconds(generated, 59.5), 60), smallSnapshot());
  EXPECT_EQ(loadAt(addingSeconds(generated, 60), 60), std::nullopt);
  EXPECT_EQ(loadAt(generated, 0), std::nullopt);
}

TEST_F(SnapshotStoreTest, LoadAcceptsAReadingFromTheFuture) {
  SnapshotStore::save(smallSnapshot(), locations);
  EXPECT_EQ(loadAt(addingSeconds(generated, -3600)), smallSnapshot());
}

TEST_F(SnapshotStoreTest, AgeOfAReadingCenturiesAwayIsMeasuredWithoutOverflow) {
  // Nanosecond Dates 350 years apart differ by more than 64 bits can hold.
  writeFile(file(), replaced(smallText, "2025-03-01T09:30:00Z", "1680-01-01T00:00:00Z"));
  EXPECT_EQ(SnapshotStore::load(SnapshotStore::sevenDays, at(2030, 1, 1, 0, 0), locations),
            std::nullopt);
  writeFile(file(), replaced(smallText, "2025-03-01T09:30:00Z", "2261-01-01T00:00:00Z"));
  EXPECT_TRUE(SnapshotStore::load(SnapshotStore::sevenDays, at(1900, 1, 1, 0, 0), locations));
}

TEST_F(SnapshotStoreTest, LoadIgnoresUnknownKeysAndRequiresSourcePath) {
  writeFile(file(), replaced(smallText, R"("sourcePath")", R"("sourceVersion":2,"sourcePath")"));
  EXPECT_EQ(loadAt(aMinuteLater), smallSnapshot());
  writeFile(file(), replaced(smallText, R"(,"sourcePath":"direct")", ""));
  EXPECT_EQ(loadAt(aMinuteLater), std::nullopt);
}

TEST_F(SnapshotStoreTest, LoadRefusesFractionalSeconds) {
  writeFile(file(), replaced(smallText, "2025-03-01T09:30:00Z", "2025-03-01T09:30:00.5Z"));
  EXPECT_EQ(loadAt(aMinuteLater), std::nullopt);
  writeFile(file(), replaced(smallText, "2025-03-01T12:00:00Z", "2025-03-01T12:00:00.000Z"));
  EXPECT_EQ(loadAt(aMinuteLater), std::nullopt);
}

TEST_F(SnapshotStoreTest, LoadGivesNothingForDamagedFiles) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) & 0xFF);
  const std::string deepArray = std::string(200000, '[') + std::string(200000, ']');
  const std::vector<std::pair<const char*, std::string>> files = {
      {"empty", ""},
      {"binary garbage", garbage},
      {"truncated", smallText.substr(0, smallText.size() / 2)},
      {"invalid UTF-8 in a string", replaced(smallText, "Claude", "Cl\xC3\x28ude")},
      {"a JSON array", "[" + smallText + "]"},
      {"null", "null"},
      {"200000-deep nesting", deepArray},
      {"200000-deep nesting, unclosed", std::string(200000, '[')},
      {"200000-deep nesting in an unknown key",
       replaced(smallText, R"("sourcePath")", R"("deep":)" + deepArray + R"(,"sourcePath")")},
      {"1e999 percent", replaced(smallText, "42.5", "1e999")},
      {"1e999 minutes", replaced(smallText, "300", "1e999")},
      {"NaN", replaced(smallText, "42.5", "NaN")},
      {"\"NaN\"", replaced(smallText, "42.5", "\"NaN\"")},
      {"two documents", smallText + smallText},
      {"year 9999", replaced(smallText, "2025-03-01T09:30:00Z", "9999-12-31T23:59:59Z")},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    writeFile(file(), bytes);
    ASSERT_EQ(readFile(file()).size(), bytes.size());
    EXPECT_EQ(loadAt(aMinuteLater), std::nullopt);
  }
}

TEST_F(SnapshotStoreTest, LoadGivesNothingForAnOversizedFile) {
  // A valid reading padded with white space: only the size bound keeps it out.
  std::string padded = smallText + std::string(20 * 1024 * 1024, ' ');
  writeFile(file(), padded);
  EXPECT_EQ(loadAt(aMinuteLater), std::nullopt);
  writeFile(file(), smallText + "   ");
  EXPECT_EQ(loadAt(aMinuteLater), smallSnapshot());
}

TEST_F(SnapshotStoreTest, AFailedSaveLeavesThePreviousFileAsItWas) {
  SnapshotStore::save(smallSnapshot(), locations);
  const std::string before = readFile(file());

  Snapshot unencodable = smallSnapshot();
  unencodable.providers[0].windows[0].usedPercent = std::numeric_limits<double>::quiet_NaN();
  SnapshotStore::save(unencodable, locations);
  Snapshot badText = smallSnapshot();
  badText.providers[0].name = "\xFF\xFE";
  SnapshotStore::save(badText, locations);

  EXPECT_EQ(readFile(file()), before);
  EXPECT_EQ(supportFolderEntries(), std::vector<fs::path>{"last-snapshot.json"});
}

TEST_F(SnapshotStoreTest, ASaveIntoAFolderThatIsAFileChangesNothing) {
  writeFile(locations.supportFolder(), "not a folder");
  SnapshotStore::save(smallSnapshot(), locations);
  EXPECT_EQ(readFile(locations.supportFolder()), "not a folder");
  EXPECT_EQ(loadAt(aMinuteLater), std::nullopt);
}

TEST_F(SnapshotStoreTest, ASaveOverAFolderInTheFilesPlaceChangesNothing) {
  fs::create_directories(file() / "inside");
  SnapshotStore::save(smallSnapshot(), locations);
  EXPECT_TRUE(fs::is_directory(file() / "inside"));
  EXPECT_EQ(supportFolderEntries(), std::vector<fs::path>{"last-snapshot.json"});
}

TEST_F(SnapshotStoreTest, ASaveIntoAReadOnlyFolderLeavesThePreviousFileAsItWas) {
  SnapshotStore::save(smallSnapshot(), locations);
  const std::string before = readFile(file());
  fs::permissions(locations.supportFolder(), fs::perms::owner_read | fs::perms::owner_exec);
  struct RestoreOnExit {
    fs::path folder;
    ~RestoreOnExit() {
      std::error_code error;
      fs::permissions(folder, fs::perms::owner_all, error);
    }
  } restore{locations.supportFolder()};
  if (::access(locations.supportFolder().c_str(), W_OK) == 0) {
    GTEST_SKIP() << "this user may write into read-only folders";
  }

  Snapshot next = smallSnapshot();
  next.sourcePath = "cached";
  SnapshotStore::save(next, locations);
  EXPECT_EQ(readFile(file()), before);
  EXPECT_EQ(loadAt(aMinuteLater), smallSnapshot());
}

}  // namespace
}  // namespace meterwright
