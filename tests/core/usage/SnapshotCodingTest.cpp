#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/usage/SampleSnapshot.h"
#include "core/usage/SnapshotCoding.h"

namespace meterwright {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;
using namespace testing;

const json sampleJson = json::parse(sampleText);

// The sample's JSON form with the member at `first` set to the JSON `second`, or removed.
using Edit = std::pair<const char*, std::string>;
std::optional<Snapshot> decodeEdited(const Edit& edit) {
  json document = sampleJson;
  json::json_pointer pointer(edit.first);
  if (edit.second.empty()) document[pointer.parent_pointer()].erase(pointer.back());
  if (!edit.second.empty()) document[pointer] = json::parse(edit.second);
  return SnapshotCoding::snapshotFromJson(document, SnapshotCoding::iso8601());
}

TEST(SnapshotCoding, EveryDateGoesThroughTheGivenCoding) {
  SnapshotCoding::DateCoding secondsSince1970{
      [](Date date) -> std::optional<ordered_json> { return secondsBetween(Date{}, date); },
      [](const json& value) -> std::optional<Date> {
        return value.is_number() ? std::optional(dateFromUnixSeconds(value.get<double>()))
                                 : std::nullopt;
      }};
  auto encoded = SnapshotCoding::toJson(sampleSnapshot(), secondsSince1970);
  ASSERT_TRUE(encoded);
  EXPECT_EQ((*encoded)["generatedAt"], 1740821400);
  EXPECT_EQ((*encoded)["providers"][0]["observedAt"], 1740821340);
  EXPECT_EQ((*encoded)["providers"][0]["windows"][1]["resetsAt"], 1741132800);
  EXPECT_EQ(SnapshotCoding::snapshotFromJson(json::parse(encoded->dump()), secondsSince1970),
            sampleSnapshot());

  SnapshotCoding::DateCoding refusing{[](Date) { return std::optional<ordered_json>(); },
                                      [](const json&) { return std::optional<Date>(); }};
  EXPECT_EQ(SnapshotCoding::toJson(sampleSnapshot(), refusing), std::nullopt);
  EXPECT_EQ(SnapshotCoding::snapshotFromJson(sampleJson, refusing), std::nullopt);
  EXPECT_TRUE(SnapshotCoding::toJson(sampleSnapshot().providers[0].windows[0], refusing));
}

TEST(SnapshotCoding, AMissingRequiredKeyOrAMistypedKeyFailsTheWholeDecode) {
  for (const Edit& edit :
       {Edit{"/generatedAt", ""}, Edit{"/providers", ""}, Edit{"/sourcePath", ""},
        Edit{"/providers/0/id", ""}, Edit{"/providers/0/name", ""}, Edit{"/providers/0/state", ""},
        Edit{"/providers/0/windows", ""}, Edit{"/providers/0/windows/1/windowMinutes", ""},
        Edit{"/providers/0/windows/1/usedPercent", ""}, Edit{"/generatedAt", "1740821400"},
        Edit{"/providers", "{}"}, Edit{"/providers/0/windows/0", "300"},
        Edit{"/providers/0/windows/0/windowMinutes", "6.5"},
        Edit{"/providers/0/windows/0/windowMinutes", "3000000000"},
        Edit{"/providers/0/windows/0/usedPercent", R"("0.3")"},
        Edit{"/providers/0/windows/1/resetsAt", "1741132800"}}) {
    EXPECT_EQ(decodeEdited(edit), std::nullopt) << edit.first << " = " << edit.second;
  }
}

}  // namespace
}  // namespace meterwright
