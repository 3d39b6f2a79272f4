#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/secrets/FileSecretStore.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using namespace SecretStatus;
const Date start = dateFromUnixSeconds(1'740'821'400);  // 2025-03-01T09:30:00Z

SecretItem item(std::string service, std::string account, std::string data = "data") {
  return SecretItem{std::move(service), std::move(account), "label", std::move(data), {}};
}

// The file the store writes for item("service", "account", "\xfb\xff") at `start`, with changes.
std::string itemFile(const std::string& changes = "{}") {
  auto document = nlohmann::json::parse(R"({"service": "service", "account": "account",
      "label": "label", "data": "+/8=", "modificationDate": "2025-03-01T09:30:00Z"})");
  document.merge_patch(nlohmann::json::parse(changes));
  return document.dump();
}

class FileSecretStoreTest : public ::testing::Test {
 protected:
  fs::path folder() const { return temp.path() / "support" / "keychain"; }
  fs::path file() const { return folder() / FileSecretStore::fileName("service", "account"); }

  TemporaryFolder temp;
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(addingSeconds(start, 0.75));
  FileSecretStore store{folder(), clock};
};

// In a folder made private even when found wider, in files only their owner may read.
TEST_F(FileSecretStoreTest, ItemsRoundTripAnyBytesDatedByTheClockToTheSecondInBase64Json) {
  fs::create_directories(folder());
  fs::permissions(folder(), fs::perms(0755));
  for (SecretItem each :
       {item("Claude Code-credentials", "alice", std::string("\0\x01\x7f\x80\xfe\xff", 6)),
        item("Claude Code-credentials", "bob", ""), item(std::string("nul\0inside", 10), "account"),
        SecretItem{"Meterwright — ペアリング", "ключ 🔑", "Clé 🔐", std::string("\0\xff", 2), {}},
        item("service", "account", "\xfb\xff")}) {
    ASSERT_EQ(store.add(each), success);
    each.modificationDate = start;
    EXPECT_TRUE(store.read(each.service, each.account).item == each) << each.account;
  }
  EXPECT_EQ(nlohmann::json::parse(readFile(file())), nlohmann::json::parse(itemFile()));
  EXPECT_EQ(fs::status(folder()).permissions(), fs::perms(0700));
  EXPECT_EQ(fs::status(file()).permissions(), fs::perms(0600));
}

TEST_F(FileSecretStoreTest, MissingItemsAreNotFoundAndExistingOnesAreDuplicate) {
  EXPECT_EQ(store.read("service", "account").status, -25300);
  EXPECT_EQ(store.update("service", "account", "data", "label"), -25300);
  ASSERT_EQ(store.add(item("service", "account", "first")), success);
  ASSERT_EQ(store.add(item("service", "other")), success);
  EXPECT_EQ(store.add(item("service", "account", "second")), -25299);
  EXPECT_TRUE(store.read("service", "account").item->data == "first");
  EXPECT_EQ(store.remove("service", "account"), success);
  EXPECT_EQ(store.remove("service", "account"), -25300);
  EXPECT_EQ(store.read("service", "other").status, success);
}

TEST_F(FileSecretStoreTest, AwkwardNamesStayInsideTheFolderAndNeverCollide) {
  const std::string longName(300, 's');
  using Pair = std::pair<std::string, std::string>;
  const std::vector<Pair> pairs(
      {Pair{"a/b", "c"}, Pair{"a", "b/c"}, Pair{"..", ".."}, Pair{"../../escape", "x"},
       Pair{"a#b", "c"}, Pair{"a", "b#c"}, Pair{"%2F", "x"}, Pair{"%", "2Fx"}, Pair{"", ""},
       Pair{"a", ""}, Pair{"", "a"}, Pair{".hidden", "x"}, Pair{std::string("a\0b", 3), "c"},
       Pair{"a", std::string("\0b", 2)}, Pair{longName + "1", "x"}, Pair{longName + "2", "x"},
       Pair{longName, "1x"}, Pair{"日本" + longName, "日本"}});
  // Names that collide would make a later add a duplicate.
  for (const auto& [service, account] : pairs)
    ASSERT_EQ(store.add(item(service, account)), success);
  // Nothing beside or above the folder: the support folder, the keychain and one file a pair.
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(temp.path()), {}),
            2 + std::ssize(pairs));
}

TEST_F(FileSecretStoreTest, EntriesInTheWayAndTextThatIsNotUtf8GiveErrors) {
  fs::create_directories(file());
  EXPECT_EQ(store.read("service", "account").status, authFailed);
  EXPECT_EQ(store.update("service", "account", "data", "label"), ioError);
  EXPECT_EQ(store.add(SecretItem{"service", "not \xff UTF-8", "label", "data", {}}), -50);
  FileSecretStore blocked(temp.path() / "file" / "keychain", clock);
  writeFile(temp.path() / "file", "a file where a folder should be");
  EXPECT_EQ(blocked.add(item("service", "account")), -36);
}

TEST_F(FileSecretStoreTest, DamagedFilesAreAuthFailedAndCanBeRewritten) {
  for (const std::string& content :
       {std::string(""), std::string("\x89PNG\r\n\x1a\n\0\0", 10), std::string(200'000, '['),
        itemFile(R"({"data": "@@@@"})"), itemFile(R"({"data": "+/8=junk"})"),
        itemFile(R"({"label": ["x"]})"), itemFile(R"({"modificationDate": "yesterday"})"),
        itemFile(R"({"service": "another"})"), itemFile(R"({"account": "another"})"),
        itemFile() + std::string(17 << 20, ' ')}) {
    writeFile(file(), content);
    EXPECT_EQ(store.read("service", "account").status, -25293) << content.substr(0, 60);
  }
  writeFile(file(), itemFile());
  EXPECT_EQ(store.read("service", "account").status, success);

  // A damaged item still exists: add refuses it, update repairs it.
  writeFile(file(), "{}");
  EXPECT_EQ(store.add(item("service", "account")), duplicateItem);
  EXPECT_EQ(store.update("service", "account", "repaired", "label"), success);
  EXPECT_TRUE(store.read("service", "account").item->data == "repaired");
}

// AtomicFileTest stops a write after each of its steps; here, that the store writes through it.
TEST_F(FileSecretStoreTest, ARewriteStoppedBeforeTheRenameLeavesTheWholeOldItem) {
  // Base64 makes 300 KiB about 400 KiB: several chunks of AtomicFile's writes.
  const std::string oldData(300 << 10, 'o'), newData(300 << 10, 'n');
  ASSERT_EQ(store.add(SecretItem{"pairing", "devices", "old", oldData, {}}), success);
  int chunks = 0;
  FileSecretStore stopping(folder(), clock, [&](AtomicFile::Step step) {
    chunks += step == AtomicFile::Step::wroteChunk;
    return step == AtomicFile::Step::flushed;
  });
  EXPECT_EQ(stopping.update("pairing", "devices", newData, "new"), ioError);
  EXPECT_GE(chunks, 2);
  auto read = store.read("pairing", "devices");
  ASSERT_EQ(read.status, success);
  EXPECT_TRUE(read.item->data == oldData);
  EXPECT_EQ(read.item->label, "old");
  // What the stopped write left behind does not get in the way of the next one.
  EXPECT_EQ(store.update("pairing", "devices", newData, "new"), success);
  EXPECT_TRUE(store.read("pairing", "devices").item->data == newData);
}

TEST_F(FileSecretStoreTest, ConcurrentAddsOfOneItemLetExactlyOneWin) {
  for (int round = 0; round < 20; ++round) {
    std::vector<int> statuses(8);
    std::vector<std::thread> threads;
    for (int& status : statuses)
      threads.emplace_back([&] { status = store.add(item("pairing", std::to_string(round))); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), success), 1) << round;
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), duplicateItem), 7) << round;
  }
}

}  // namespace
}  // namespace meterwright
