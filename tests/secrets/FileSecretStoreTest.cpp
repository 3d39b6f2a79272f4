#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/time/Iso8601.h"
#include "platform/secrets/FileSecretStore.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::ManualClock;
using testing::TemporaryFolder;

// 2025-03-01T09:30:00Z
const Date start = dateFromUnixSeconds(1'740'821'400);

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

std::vector<fs::path> entriesOf(const fs::path& folder) {
  std::vector<fs::path> entries;
  for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry.path());
  return entries;
}

// Bytes that are not text: every byte value, NULs included, in a repeating pattern.
std::string binary(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) & 0xFF);
  return bytes;
}

SecretItem item(std::string service, std::string account, std::string data,
                std::string label = "label") {
  return SecretItem{std::move(service), std::move(account), std::move(label), std::move(data), {}};
}

class FileSecretStoreTest : public ::testing::Test {
 protected:
  fs::path folder() const { return temp.path() / "support" / "keychain"; }
  fs::path fileOf(const std::string& service, const std::string& account) const {
    return folder() / FileSecretStore::fileName(service, account);
  }

  TemporaryFolder temp;
  ManualClock clock{start};
  FileSecretStore store{folder(), clock};
};

TEST_F(FileSecretStoreTest, ItemsRoundTripWithBinaryEmptyAndUnicodeContent) {
  std::string everyByte;
  for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
  std::vector<SecretItem> items = {
      item("Claude Code-credentials", "alice", everyByte),
      item("Claude Code-credentials", "bob", ""),
      item("Meterwright — ペアリング", "ключ 🔑", std::string("\0\0\xff", 3), "Clé de l’appareil 🔐"),
      item(std::string("nul\0inside", 10), "account", "x", ""),
  };
  for (const auto& each : items) ASSERT_EQ(store.add(each), SecretStatus::success);

  for (auto expected : items) {
    expected.modificationDate = start;
    auto result = store.read(expected.service, expected.account);
    EXPECT_EQ(result.status, SecretStatus::success);
    ASSERT_TRUE(result.item.has_value());
    EXPECT_TRUE(*result.item == expected) << "item for account " << expected.account;
  }
}

TEST_F(FileSecretStoreTest, MissingItemsAreNotFoundAndNothingIsWritten) {
  auto beforeAnyFolder = store.read("service", "account");
  EXPECT_EQ(beforeAnyFolder.status, -25300);
  EXPECT_FALSE(beforeAnyFolder.item.has_value());
  EXPECT_EQ(store.update("service", "account", "data", "label"), -25300);
  EXPECT_EQ(store.remove("service", "account"), -25300);

  ASSERT_EQ(store.add(item("service", "account", "secret")), SecretStatus::success);
  EXPECT_EQ(store.read("service", "other").status, -25300);
  EXPECT_EQ(store.read("other", "account").status, -25300);
  EXPECT_EQ(store.update("service", "other", "data", "label"), -25300);
  EXPECT_EQ(store.remove("other", "account"), -25300);
  EXPECT_EQ(entriesOf(folder()).size(), 1u);
}

TEST_F(FileSecretStoreTest, AddingAnExistingItemIsDuplicateAndKeepsTheOriginal) {
  ASSERT_EQ(store.add(item("service", "account", "first", "one")), SecretStatus::success);
  clock.advance(60);

  EXPECT_EQ(store.add(item("service", "account", "second", "two")), -25299);

  auto result = store.read("service", "account");
  ASSERT_TRUE(result.item.has_value());
  EXPECT_EQ(result.item->data, "first");
  EXPECT_EQ(result.item->label, "one");
  EXPECT_EQ(result.item->modificationDate, start);
}

TEST_F(FileSecretStoreTest, UpdateReplacesDataAndLabelAndRedatesTheItem) {
  ASSERT_EQ(store.add(item("service", "account", "old", "old label")), SecretStatus::success);
  clock.advance(90);

  ASSERT_EQ(store.update("service", "account", "new", "new label"), SecretStatus::success);

  auto result = store.read("service", "account");
  ASSERT_TRUE(result.item.has_value());
  EXPECT_EQ(result.item->data, "new");
  EXPECT_EQ(result.item->label, "new label");
  EXPECT_EQ(result.item->modificationDate, addingSeconds(start, 90));
}

TEST_F(FileSecretStoreTest, RemoveDeletesOnlyThatItem) {
  ASSERT_EQ(store.add(item("service", "one", "1")), SecretStatus::success);
  ASSERT_EQ(store.add(item("service", "two", "2")), SecretStatus::success);

  EXPECT_EQ(store.remove("service", "one"), SecretStatus::success);

  EXPECT_EQ(store.read("service", "one").status, SecretStatus::itemNotFound);
  EXPECT_EQ(store.read("service", "two").status, SecretStatus::success);
  EXPECT_EQ(store.remove("service", "one"), SecretStatus::itemNotFound);
  // Removed, an item can be added again: the paired-device store rewrites this way.
  EXPECT_EQ(store.add(item("service", "one", "again")), SecretStatus::success);
  EXPECT_EQ(store.read("service", "one").item->data, "again");
}

TEST_F(FileSecretStoreTest, ModificationDatesComeFromTheClockToTheSecond) {
  auto given = item("service", "account", "data");
  given.modificationDate = dateFromUnixSeconds(0);
  clock.set(addingSeconds(start, 0.75));

  ASSERT_EQ(store.add(given), SecretStatus::success);
  EXPECT_EQ(store.read("service", "account").item->modificationDate, start);

  clock.set(addingSeconds(start, 3600.5));
  ASSERT_EQ(store.update("service", "account", "data", "label"), SecretStatus::success);
  EXPECT_EQ(store.read("service", "account").item->modificationDate, addingSeconds(start, 3600));
}

TEST_F(FileSecretStoreTest, FolderIsPrivateAndFilesAreOwnerOnly) {
  ASSERT_EQ(store.add(item("service", "account", "data")), SecretStatus::success);
  EXPECT_EQ(modeOf(folder()), 0700u);
  EXPECT_EQ(modeOf(fileOf("service", "account")), 0600u);

  // A file loosened by hand is private again once rewritten.
  fs::permissions(fileOf("service", "account"), static_cast<fs::perms>(0644));
  ASSERT_EQ(store.update("service", "account", "new", "label"), SecretStatus::success);
  EXPECT_EQ(modeOf(folder()), 0700u);
  EXPECT_EQ(modeOf(fileOf("service", "account")), 0600u);
}

TEST_F(FileSecretStoreTest, PreexistingWideFolderIsTightened) {
  fs::create_directories(folder());
  fs::permissions(folder(), static_cast<fs::perms>(0755));
  ASSERT_EQ(modeOf(folder()), 0755u);

  ASSERT_EQ(store.add(item("service", "account", "data")), SecretStatus::success);

  EXPECT_EQ(modeOf(folder()), 0700u);
  EXPECT_EQ(modeOf(fileOf("service", "account")), 0600u);
}

TEST_F(FileSecretStoreTest, AwkwardNamesStayInsideTheFolderAndNeverCollide) {
  std::string longPrefix(300, 's');
  std::string longUnicode;
  for (int i = 0; i < 60; ++i) longUnicode += "日本";
  std::vector<std::pair<std::string, std::string>> pairs = {
      {"a/b", "c"},
      {"a", "b/c"},
      {"..", ".."},
      {".", "."},
      {"../../escape", "x"},
      {"/", "x"},
      {"#", "#"},
      {"a#b", "c"},
      {"a", "b#c"},
      {"%2F", "x"},
      {"%", "2Fx"},
      {"with space", "and space"},
      {"", ""},
      {"a", ""},
      {"", "a"},
      {".hidden", "x"},
      {"~", "x"},
      {std::string("a\0b", 3), "c"},
      {std::string("a", 1), std::string("\0b", 2)},
      {longPrefix + "1", "x"},
      {longPrefix + "2", "x"},
      {longPrefix, "1x"},
      {longUnicode, longUnicode},
  };
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    ASSERT_EQ(store.add(item(pairs[i].first, pairs[i].second, "data " + std::to_string(i))),
              SecretStatus::success)
        << "pair " << i;
  }

  for (std::size_t i = 0; i < pairs.size(); ++i) {
    auto result = store.read(pairs[i].first, pairs[i].second);
    ASSERT_EQ(result.status, SecretStatus::success) << "pair " << i;
    EXPECT_EQ(result.item->data, "data " + std::to_string(i)) << "pair " << i;
  }
  auto entries = entriesOf(folder());
  EXPECT_EQ(entries.size(), pairs.size());
  for (const auto& entry : entries) {
    EXPECT_TRUE(fs::is_regular_file(entry)) << entry;
    EXPECT_NE(entry.filename().string().front(), '.') << entry;
    EXPECT_LE(entry.filename().string().size(), 255u - 8u) << entry;
  }
  // Nothing landed beside or above the folder.
  EXPECT_EQ(entriesOf(temp.path()), std::vector<fs::path>{temp.path() / "support"});
  EXPECT_EQ(entriesOf(temp.path() / "support"), std::vector<fs::path>{folder()});

  ASSERT_EQ(store.remove("a/b", "c"), SecretStatus::success);
  EXPECT_EQ(store.read("a", "b/c").status, SecretStatus::success);
  EXPECT_EQ(store.read("a#b", "c").status, SecretStatus::success);
}

TEST_F(FileSecretStoreTest, TextThatIsNotUtf8IsRefusedWithoutWriting) {
  EXPECT_EQ(store.add(item("service", "account", "data", "bad \xff label")), -50);
  EXPECT_EQ(store.add(item("bad \xc3", "account", "data")), -50);
  EXPECT_EQ(store.read("service", "account").status, SecretStatus::itemNotFound);

  ASSERT_EQ(store.add(item("service", "account", "data")), SecretStatus::success);
  EXPECT_EQ(store.update("service", "account", "new", "\x80"), -50);
  EXPECT_EQ(store.read("service", "account").item->data, "data");
}

TEST_F(FileSecretStoreTest, FileIsJsonWithStandardBase64Data) {
  ASSERT_EQ(store.add(item("service", "account", "\xfb\xff", "label")), SecretStatus::success);

  auto document = nlohmann::json::parse(testing::readFile(fileOf("service", "account")));
  EXPECT_EQ(document, (nlohmann::json{{"service", "service"},
                                      {"account", "account"},
                                      {"label", "label"},
                                      {"data", "+/8="},
                                      {"modificationDate", "2025-03-01T09:30:00Z"}}));

  // A file written by another tool in the same form is read.
  testing::writeFile(fileOf("service", "other"), R"({"service": "service", "account": "other",
      "label": "by hand", "data": "aGVsbG8=", "modificationDate": "2024-12-31T23:00:00-01:00"})");
  auto result = store.read("service", "other");
  ASSERT_EQ(result.status, SecretStatus::success);
  EXPECT_EQ(result.item->data, "hello");
  EXPECT_EQ(result.item->label, "by hand");
  EXPECT_EQ(result.item->modificationDate, *Iso8601::parse("2025-01-01T00:00:00Z"));
}

TEST_F(FileSecretStoreTest, DamagedFilesAreAuthFailedAndCanBeRewritten) {
  auto valid = [](const std::string& change) {
    nlohmann::json document = {{"service", "service"},
                               {"account", "account"},
                               {"label", "label"},
                               {"data", "aGVsbG8="},
                               {"modificationDate", "2025-03-01T09:30:00Z"}};
    document.merge_patch(nlohmann::json::parse(change));
    return document.dump();
  };
  std::vector<std::string> contents = {
      "",
      "not json",
      "null",
      "[]",
      "{}",
      R"({"service": "service", "account": "account")",
      std::string("\x89PNG\r\n\x1a\n\0\0", 10),
      "\"\xff\xfe\"",
      std::string(200'000, '['),
      valid(R"({"data": "@@@@"})"),
      valid(R"({"data": "aGVsbG8"})"),
      valid(R"({"data": "aGVsbG8=junk"})"),
      valid(R"({"data": 5})"),
      valid(R"({"data": null})"),
      valid(R"({"label": ["x"]})"),
      valid(R"({"modificationDate": "yesterday"})"),
      valid(R"({"modificationDate": 1740821400})"),
      valid(R"({"service": "someone else's"})"),
      valid(R"({"account": "another"})"),
  };
  fs::create_directories(folder());
  for (std::size_t i = 0; i < contents.size(); ++i) {
    testing::writeFile(fileOf("service", "account"), contents[i]);
    auto result = store.read("service", "account");
    EXPECT_EQ(result.status, -25293) << "content " << i;
    EXPECT_FALSE(result.item.has_value()) << "content " << i;
  }
  // The untouched document is fine, so the cases above fail for their one change.
  testing::writeFile(fileOf("service", "account"), valid("{}"));
  EXPECT_EQ(store.read("service", "account").status, SecretStatus::success);

  testing::writeFile(fileOf("service", "account"), std::string(17 * 1024 * 1024, ' '));
  EXPECT_EQ(store.read("service", "account").status, SecretStatus::authFailed);

  // A damaged item still exists: add refuses, update repairs.
  EXPECT_EQ(store.add(item("service", "account", "data")), SecretStatus::duplicateItem);
  ASSERT_EQ(store.update("service", "account", "repaired", "label"), SecretStatus::success);
  EXPECT_EQ(store.read("service", "account").item->data, "repaired");
}

TEST_F(FileSecretStoreTest, EntriesInTheWayGiveAuthFailedOrIoErrorAndStayUntouched) {
  fs::create_directories(fileOf("folder", "in the way"));
  EXPECT_EQ(store.read("folder", "in the way").status, SecretStatus::authFailed);
  EXPECT_EQ(store.update("folder", "in the way", "data", "label"), SecretStatus::ioError);
  EXPECT_TRUE(fs::is_directory(fileOf("folder", "in the way")));

  FileSecretStore blocked(temp.path() / "file" / "keychain", clock);
  testing::writeFile(temp.path() / "file", "a file where a folder should be");
  EXPECT_EQ(blocked.add(item("service", "account", "data")), -36);
  EXPECT_EQ(testing::readFile(temp.path() / "file"), "a file where a folder should be");
}

TEST_F(FileSecretStoreTest, AFileWithoutReadPermissionIsAuthFailed) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  ASSERT_EQ(store.add(item("service", "account", "data")), SecretStatus::success);
  fs::permissions(fileOf("service", "account"), fs::perms::none);
  EXPECT_EQ(store.read("service", "account").status, SecretStatus::authFailed);
}

// Stops every write at its `stopAfter`th step (counting from 1) and remembers where.
struct Interruption {
  explicit Interruption(int stopAfter) : stopAfter(stopAfter) {}

  int stopAfter;
  int calls = 0;
  std::optional<AtomicFile::Step> stoppedAt;

  std::function<bool(AtomicFile::Step)> hook() {
    return [this](AtomicFile::Step step) {
      if (++calls != stopAfter) return false;
      stoppedAt = step;
      return true;
    };
  }
};

TEST_F(FileSecretStoreTest, InterruptedRewriteLeavesTheWholeOldOrTheWholeNewItem) {
  // Base64 makes 300 KiB about 400 KiB: several chunks of AtomicFile's writes.
  const std::string oldData = binary(300 * 1024, 1);
  const std::string newData = binary(300 * 1024, 2);
  std::set<AtomicFile::Step> stepsSeen;
  int chunksSeen = 0;

  for (int stopAfter = 1;; ++stopAfter) {
    ASSERT_LT(stopAfter, 100) << "the write never completed";
    store.remove("pairing", "devices");
    ASSERT_EQ(store.add(item("pairing", "devices", oldData, "old")), SecretStatus::success);
    clock.advance(1);

    Interruption interruption(stopAfter);
    FileSecretStore interrupted(folder(), clock, interruption.hook());
    int status = interrupted.update("pairing", "devices", newData, "new");
    auto result = store.read("pairing", "devices");
    ASSERT_EQ(result.status, SecretStatus::success) << "stopped after step " << stopAfter;

    if (!interruption.stoppedAt) {
      EXPECT_EQ(status, SecretStatus::success);
      EXPECT_TRUE(result.item->data == newData);
      break;
    }
    EXPECT_EQ(status, SecretStatus::ioError) << "stopped after step " << stopAfter;
    stepsSeen.insert(*interruption.stoppedAt);
    if (*interruption.stoppedAt == AtomicFile::Step::wroteChunk) ++chunksSeen;
    // Only the rename publishes the new item; before it the old one is intact.
    bool published = *interruption.stoppedAt == AtomicFile::Step::renamed;
    EXPECT_TRUE(result.item->data == (published ? newData : oldData))
        << "stopped after step " << stopAfter;
    EXPECT_EQ(result.item->label, published ? "new" : "old") << "stopped after step " << stopAfter;
  }
  EXPECT_EQ(stepsSeen.size(), 4u);
  EXPECT_GE(chunksSeen, 6);
}

TEST_F(FileSecretStoreTest, ConcurrentAddsOfOneItemLetExactlyOneWin) {
  constexpr int threadCount = 8;
  for (int round = 0; round < 20; ++round) {
    std::string account = "device " + std::to_string(round);
    std::atomic<int> successes = 0;
    std::atomic<int> duplicates = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
      threads.emplace_back([&, t] {
        int status = store.add(item("pairing", account, "from thread " + std::to_string(t)));
        if (status == SecretStatus::success) ++successes;
        if (status == SecretStatus::duplicateItem) ++duplicates;
      });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(successes, 1) << "round " << round;
    EXPECT_EQ(duplicates, threadCount - 1) << "round " << round;
    EXPECT_EQ(store.read("pairing", account).status, SecretStatus::success);
  }
}

}  // namespace
}  // namespace meterwright
