#include <gtest/gtest.h>

#include <string>

#include "core/sync/cloud/CloudFileNames.h"

namespace meterwright {
namespace {

using Kind = CloudFileNames::Kind;

TEST(CloudFileNamesTest, TellsRecordsFromWhatSyncToolsAndThisProgramLeaveBehind) {
  const struct {
    std::string name;
    Kind kind;
  } cases[] = {
      {"6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D.json", Kind::record},
      {"pairing-request.json", Kind::record},
      {"pairing-grant-6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D.json", Kind::record},
      // Syncthing
      {".syncthing.pairing-request.json.tmp", Kind::syncToolLeftover},
      {"pairing-request.sync-conflict-20240102-030405-ABCDEFG.json", Kind::syncToolLeftover},
      // Nextcloud, ownCloud, LibreOffice locks
      {"pairing-request.json.part", Kind::syncToolLeftover},
      {"pairing-request.json.~1a2b3c4d.part", Kind::syncToolLeftover},
      {"pairing-request_conflict-20240102-030405.json", Kind::syncToolLeftover},
      {".~lock.pairing-request.json#", Kind::syncToolLeftover},
      // Dropbox and editors
      {"pairing-request (Ada's conflicted copy 2024-01-02).json", Kind::syncToolLeftover},
      {"pairing-request (Conflicted Copy).json", Kind::syncToolLeftover},
      {"~pairing-request.json", Kind::syncToolLeftover},
      {"pairing-request.json.tmp", Kind::syncToolLeftover},
      {".meterwright-6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D.new", Kind::ownTemporary},
      {".meterwright-probe-6A1B2C3D", Kind::ownTemporary},
      {".directory", Kind::hidden},
      {".json", Kind::hidden},
      {"pairing request.json", Kind::foreign},
      {"pairing-request", Kind::foreign},
      {"pairing-request.JSON", Kind::foreign},
      {"../pairing-request.json", Kind::hidden},
      {"dir/pairing-request.json", Kind::foreign},
      {"pair\xc3\xa9.json", Kind::foreign},
      {std::string(201, 'A') + ".json", Kind::foreign},
      {std::string(200, 'A') + ".json", Kind::record},
  };
  for (const auto& item : cases) {
    EXPECT_EQ(CloudFileNames::classify(item.name), item.kind) << item.name;
    EXPECT_EQ(CloudFileNames::recordName(item.name).has_value(), item.kind == Kind::record)
        << item.name;
  }
}

TEST(CloudFileNamesTest, RecordNamesMapToFilesAndBackAndTemporaryNamesNeverAreRecords) {
  EXPECT_EQ(CloudFileNames::fileName("pairing-request"), "pairing-request.json");
  EXPECT_EQ(CloudFileNames::recordName("pairing-request.json"), "pairing-request");
  EXPECT_EQ(CloudFileNames::fileName("../escape"), std::nullopt);
  EXPECT_EQ(CloudFileNames::fileName(""), std::nullopt);
  auto first = CloudFileNames::temporaryName();
  EXPECT_NE(first, CloudFileNames::temporaryName());
  EXPECT_EQ(CloudFileNames::classify(first), Kind::ownTemporary);
}

}  // namespace
}  // namespace meterwright
