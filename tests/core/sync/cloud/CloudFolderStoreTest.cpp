#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/sync/cloud/CloudFolderStore.h"
#include "core/sync/cloud/CloudRecordCoding.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;
using Kind = CloudStoreProblem::Kind;

CloudRecord record(std::string sealed) {
  CloudRecord value;
  value.recordType = "Envelope";
  value.fields.emplace("sealed", CloudRecord::Bytes{std::move(sealed)});
  value.modifiedAt = dateFromUnixSeconds(1'700'000'000);
  return value;
}

class CloudFolderStoreTest : public ::testing::Test {
 protected:
  CloudFolderStoreTest() : store(folder.path() / "container") {
    fs::create_directories(store.zoneFolder());
  }

  fs::path zoneFile(const std::string& name) const { return store.zoneFolder() / name; }

  TemporaryFolder folder;
  CloudFolderStore store;
};

TEST_F(CloudFolderStoreTest, SavedRecordReadsBackUntilReplacedOrRemoved) {
  EXPECT_EQ(store.fetch("DEVICE").problem->kind, Kind::missing);
  ASSERT_EQ(store.save("DEVICE", record("first")), std::nullopt);
  ASSERT_EQ(store.save("DEVICE", record("second")), std::nullopt);
  EXPECT_EQ(store.fetch("DEVICE").record, record("second"));
  EXPECT_EQ(fs::status(zoneFile("DEVICE.json")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // Only the record is left: no temporary file survives a write.
  EXPECT_EQ(std::distance(fs::directory_iterator(store.zoneFolder()), fs::directory_iterator()), 1);
  EXPECT_EQ(store.remove("DEVICE"), std::nullopt);
  EXPECT_EQ(store.remove("DEVICE")->kind, Kind::missing);
}

// Whatever sits at a record's name, reading it never crashes, blocks or leaves the folder;
// replacing or removing it touches regular files only.
TEST_F(CloudFolderStoreTest, BadFilesAreIgnoredAndOnlyRegularFilesAreReplaced) {
  const std::string valid = *CloudRecordCoding::encode(record("outside"));
  const fs::path outside = folder.path() / "outside.json";
  writeFile(outside, valid);
  const struct {
    const char* what;
    std::function<void(const fs::path&)> make;
    Kind kind;
    bool replaceable;
  } cases[] = {
      {"truncated", [&](const fs::path& p) { writeFile(p, valid.substr(0, valid.size() / 2)); },
       Kind::notARecord, true},
      {"not JSON", [](const fs::path& p) { writeFile(p, "\x89PNG\r\n"); }, Kind::notARecord, true},
      {"wrong form", [](const fs::path& p) { writeFile(p, R"({"recordType":["x"]})"); },
       Kind::notARecord, true},
      {"huge",
       [](const fs::path& p) {
         writeFile(p, std::string(CloudRecordCoding::maximumBytes + 1, ' '));
       },
       Kind::tooLarge, true},
      {"link out of the folder", [&](const fs::path& p) { fs::create_symlink(outside, p); },
       Kind::symbolicLink, false},
      {"dangling link", [&](const fs::path& p) { fs::create_symlink(folder.path() / "none", p); },
       Kind::symbolicLink, false},
      {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
       Kind::notRegularFile, false},
      {"folder", [](const fs::path& p) { fs::create_directory(p); }, Kind::notRegularFile, false},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(item.what);
    const fs::path path = zoneFile("DEVICE.json");
    fs::remove_all(path);
    item.make(path);

    auto fetched = store.fetch("DEVICE");
    EXPECT_FALSE(fetched.record);
    ASSERT_TRUE(fetched.problem);
    EXPECT_EQ(fetched.problem->kind, item.kind);
    EXPECT_TRUE(fetched.problem->isBadFile());
    EXPECT_NE(fetched.problem->text.find("DEVICE.json"), std::string::npos);

    auto saved = store.save("DEVICE", record("new"));
    EXPECT_EQ(!saved, item.replaceable);
    EXPECT_EQ(store.fetch("DEVICE").record.has_value(), item.replaceable);
    if (!item.replaceable) {
      EXPECT_EQ(saved->kind, item.kind);
      EXPECT_EQ(store.remove("DEVICE")->kind, item.kind);
      EXPECT_TRUE(fs::exists(fs::symlink_status(path)));
    }
    EXPECT_EQ(readFile(outside), valid);
  }
}

// A conflict copy is never read as its record, only reported.
TEST_F(CloudFolderStoreTest, StrayFilesNameLinksFifosForeignNamesAndConflictCopiesOnly) {
  ASSERT_EQ(store.save("GOOD", record("x")), std::nullopt);
  fs::create_symlink("/etc/passwd", zoneFile("LINK.json"));
  ASSERT_EQ(::mkfifo(zoneFile("FIFO.json").c_str(), 0600), 0);
  writeFile(zoneFile("notes.txt"), "hello");
  writeFile(zoneFile(".meterwright-in-flight.new"), "");
  const std::string syncthing = "DEVICE.sync-conflict-20240102-030405-ABCDEFG.json",
                    dropbox = "DEVICE (Ada's conflicted copy 2024-01-02).json";
  for (const std::string& copy : {syncthing, dropbox})
    writeFile(zoneFile(copy), *CloudRecordCoding::encode(record("conflict")));
  EXPECT_EQ(store.fetch("DEVICE").problem->kind, Kind::missing);

  std::vector<std::string> names;
  for (const auto& stray : store.strayFiles(10)) {
    EXPECT_FALSE(stray.reason.empty()) << stray.fileName;
    names.push_back(stray.fileName);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{dropbox, syncthing, "FIFO.json", "LINK.json", "notes.txt"}));
  EXPECT_EQ(store.strayFiles(1).size(), 1u);
}

TEST_F(CloudFolderStoreTest, CheckCreatesTheZoneOrSaysWhyItCannot) {
  CloudFolderStore fresh(folder.path() / "fresh");
  fs::create_directory(fresh.container());
  EXPECT_EQ(fresh.check(), std::nullopt);
  ASSERT_TRUE(fs::is_directory(fresh.zoneFolder()));
  EXPECT_TRUE(fs::is_empty(fresh.zoneFolder()));
  EXPECT_EQ(CloudFolderStore(folder.path() / "none").check()->kind, Kind::missing);

  CloudFolderStore occupied(folder.path() / "occupied");
  fs::create_directory(occupied.container());
  writeFile(occupied.zoneFolder(), "a file where the zone belongs");
  auto problem = occupied.check();
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->kind, Kind::failed);
  EXPECT_NE(problem->text.find("is not a folder"), std::string::npos) << problem->text;

  CloudFolderStore linked(folder.path() / "linked");
  fs::create_directory(linked.container());
  fs::create_directory_symlink(folder.path(), linked.zoneFolder());
  EXPECT_EQ(linked.check()->kind, Kind::failed);
}

TEST_F(CloudFolderStoreTest, CheckFailsInAReadOnlyContainer) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root, where permission bits do not stop writes";
  CloudFolderStore readOnly(folder.path() / "read-only");
  fs::create_directories(readOnly.zoneFolder());
  fs::permissions(readOnly.zoneFolder(), fs::perms::owner_read | fs::perms::owner_exec);
  auto problem = readOnly.check();
  fs::permissions(readOnly.zoneFolder(), fs::perms::owner_all);
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->kind, Kind::failed);
  EXPECT_NE(problem->text.find("Permission denied"), std::string::npos) << problem->text;
}

}  // namespace
}  // namespace meterwright
