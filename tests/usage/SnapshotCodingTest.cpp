#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/usage/SnapshotCoding.h"

namespace meterwright {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

// Built without the coder under test, so a fault in its date parsing cannot hide in the fixtures.
Date at(int y, unsigned m, unsigned d, int h, int mi, int s = 0) {
  using namespace std::chrono;
  return Date{sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{mi} + seconds{s}};
}

Snapshot fullSnapshot() {
  return Snapshot{
      at(2025, 3, 1, 9, 30),
      {ProviderSnapshot{"claude",
                        "Claude",
                        "max",
                        "live",
                        at(2025, 3, 1, 9, 29),
                        {UsageWindow{300, 42.5, at(2025, 3, 1, 12, 0), std::nullopt},
                         UsageWindow{10080, 50, at(2025, 3, 5, 0, 0), "opus"}}},
       ProviderSnapshot{"codex", "Codex", std::nullopt, "unavailable", std::nullopt, {}}},
      "composite",
      "direct"};
}

const char* const fullText =
    R"({"generatedAt":"2025-03-01T09:30:00Z","providers":[{"id":"claude","name":"Claude",)"
    R"("plan":"max","state":"live","observedAt":"2025-03-01T09:29:00Z","windows":[)"
    R"({"windowMinutes":300,"usedPercent":42.5,"resetsAt":"2025-03-01T12:00:00Z"},)"
    R"({"windowMinutes":10080,"usedPercent":50,"resetsAt":"2025-03-05T00:00:00Z","group":"opus"}]},)"
    R"({"id":"codex","name":"Codex","state":"unavailable","windows":[]}],)"
    R"("sourceName":"composite","sourcePath":"direct"})";

std::optional<Snapshot> decodeIso(const json& value) {
  return SnapshotCoding::decode(value, SnapshotCoding::iso8601());
}

// The sync payload's date form, to show that every date goes through the coding it is given.
SnapshotCoding::DateCoding secondsSince1970() {
  return {[](Date date) -> std::optional<ordered_json> {
            return ordered_json(
                std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count());
          },
          [](const json& value) -> std::optional<Date> {
            if (!value.is_number()) return std::nullopt;
            return dateFromUnixSeconds(value.get<double>());
          }};
}

SnapshotCoding::DateCoding refusingEveryDate() {
  return {[](Date) -> std::optional<ordered_json> { return std::nullopt; },
          [](const json&) -> std::optional<Date> { return std::nullopt; }};
}

TEST(SnapshotCoding, WritesKeysInFieldOrderWholeNumbersWithoutFractionAndOmitsAbsentFields) {
  auto encoded = SnapshotCoding::encode(fullSnapshot(), SnapshotCoding::iso8601());
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded->dump(), fullText);
}

TEST(SnapshotCoding, EveryDateGoesThroughTheGivenCoding) {
  auto encoded = SnapshotCoding::encode(fullSnapshot(), secondsSince1970());
  ASSERT_TRUE(encoded);
  EXPECT_EQ((*encoded)["generatedAt"], 1740821400);
  EXPECT_EQ((*encoded)["providers"][0]["observedAt"], 1740821340);
  EXPECT_EQ((*encoded)["providers"][0]["windows"][0]["resetsAt"], 1740830400);
  EXPECT_EQ(SnapshotCoding::decode(json::parse(encoded->dump()), secondsSince1970()),
            fullSnapshot());
  // ISO text is not a date for this coding.
  EXPECT_EQ(SnapshotCoding::decode(json::parse(fullText), secondsSince1970()), std::nullopt);
}

TEST(SnapshotCoding, ARefusedDateFailsTheWholeRecord) {
  EXPECT_EQ(SnapshotCoding::encode(fullSnapshot(), refusingEveryDate()), std::nullopt);
  EXPECT_EQ(SnapshotCoding::decode(json::parse(fullText), refusingEveryDate()), std::nullopt);

  UsageWindow undated{300, 1, std::nullopt, std::nullopt};
  ProviderSnapshot withUndatedWindow{"codex", "Codex",      std::nullopt,
                                     "live",  std::nullopt, {undated}};
  EXPECT_TRUE(SnapshotCoding::encode(undated, refusingEveryDate()));
  EXPECT_TRUE(SnapshotCoding::encode(withUndatedWindow, refusingEveryDate()));
  undated.resetsAt = at(2025, 3, 1, 12, 0);
  EXPECT_EQ(SnapshotCoding::encode(undated, refusingEveryDate()), std::nullopt);
}

TEST(SnapshotCoding, NonFiniteUsedPercentCannotBeEncoded) {
  for (double used : {std::nan(""), std::numeric_limits<double>::infinity(),
                      -std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(used);
    Snapshot snapshot = fullSnapshot();
    snapshot.providers[0].windows[1].usedPercent = used;
    EXPECT_EQ(SnapshotCoding::encode(snapshot.providers[0].windows[1], SnapshotCoding::iso8601()),
              std::nullopt);
    EXPECT_EQ(SnapshotCoding::encode(snapshot.providers[0], SnapshotCoding::iso8601()),
              std::nullopt);
    EXPECT_EQ(SnapshotCoding::encode(snapshot, SnapshotCoding::iso8601()), std::nullopt);
  }
}

TEST(SnapshotCoding, FractionalAndExtremePercentagesSurviveTheRoundTrip) {
  for (double used : {0.1, -5.0, 120.0, 1e300, 33.333333333333336, -0.0}) {
    SCOPED_TRACE(used);
    UsageWindow window{300, used, std::nullopt, std::nullopt};
    auto encoded = SnapshotCoding::encode(window, SnapshotCoding::iso8601());
    ASSERT_TRUE(encoded);
    EXPECT_EQ(
        SnapshotCoding::decodeUsageWindow(json::parse(encoded->dump()), SnapshotCoding::iso8601()),
        window);
  }
}

const std::vector<std::string> requiredKeys = {
    "/generatedAt",
    "/providers",
    "/sourcePath",
    "/providers/0/id",
    "/providers/0/name",
    "/providers/0/state",
    "/providers/0/windows",
    "/providers/0/windows/1/windowMinutes",
    "/providers/0/windows/1/usedPercent",
};

TEST(SnapshotCoding, AMissingOrNullRequiredKeyFailsTheWholeDecode) {
  for (const std::string& key : requiredKeys) {
    SCOPED_TRACE(key);
    json::json_pointer pointer(key);
    json missing = json::parse(fullText);
    missing[pointer.parent_pointer()].erase(pointer.back());
    EXPECT_EQ(decodeIso(missing), std::nullopt);

    json null = json::parse(fullText);
    null[pointer] = nullptr;
    EXPECT_EQ(decodeIso(null), std::nullopt);
  }
}

TEST(SnapshotCoding, OptionalKeysMayBeMissingOrNull) {
  json document = json::parse(fullText);
  for (const char* key : {"/sourceName", "/providers/0/plan", "/providers/0/observedAt",
                          "/providers/0/windows/1/resetsAt", "/providers/0/windows/1/group"}) {
    document[json::json_pointer(key)] = nullptr;
  }
  Snapshot expected = fullSnapshot();
  expected.sourceName.reset();
  expected.providers[0].plan.reset();
  expected.providers[0].observedAt.reset();
  expected.providers[0].windows[1].resetsAt.reset();
  expected.providers[0].windows[1].group.reset();
  EXPECT_EQ(decodeIso(document), expected);

  // The codex entry of the fixture already lacks every optional key.
  EXPECT_EQ(decodeIso(json::parse(fullText))->providers[1].plan, std::nullopt);
}

TEST(SnapshotCoding, AMistypedKeyAnywhereFailsTheWholeDecode) {
  struct Case {
    const char* key;
    json value;
  };
  const std::vector<Case> cases = {
      {"/generatedAt", 1740821400},
      {"/generatedAt", "2025-03-01 09:30:00"},
      {"/providers", json::object()},
      {"/providers/0", "claude"},
      {"/sourceName", true},
      {"/sourcePath", 1},
      {"/providers/0/id", 7},
      {"/providers/0/plan", 3},
      {"/providers/0/state", json::array()},
      {"/providers/0/observedAt", "yesterday"},
      {"/providers/0/windows", json::object()},
      {"/providers/0/windows/0", 300},
      {"/providers/0/windows/0/windowMinutes", 6.5},
      {"/providers/0/windows/0/windowMinutes", "300"},
      {"/providers/0/windows/0/windowMinutes", 3000000000LL},
      {"/providers/0/windows/0/usedPercent", "42"},
      {"/providers/0/windows/0/usedPercent", true},
      {"/providers/0/windows/0/resetsAt", 1740830400},
      {"/providers/0/windows/0/group", 1},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(std::string(each.key) + " = " + each.value.dump());
    json document = json::parse(fullText);
    document[json::json_pointer(each.key)] = each.value;
    EXPECT_EQ(decodeIso(document), std::nullopt);
  }
}

TEST(SnapshotCoding, WindowMinutesMayBeWrittenAsAWholeFloat) {
  json document = json::parse(fullText);
  document["providers"][0]["windows"][0]["windowMinutes"] = 300.0;
  EXPECT_EQ(decodeIso(document), fullSnapshot());
}

TEST(SnapshotCoding, UnknownKeysAreIgnoredAtEveryLevel) {
  json document = json::parse(fullText);
  document["version"] = 9;
  document["providers"][0]["colour"] = "#FF8800";
  document["providers"][0]["windows"][0]["extra"] = {{"nested", json::array({1, 2})}};
  EXPECT_EQ(decodeIso(document), fullSnapshot());
}

TEST(SnapshotCoding, IsoDatesNeedWholeSecondsAndAZone) {
  auto decodeDate = [](const char* text) { return SnapshotCoding::iso8601().decode(json(text)); };
  EXPECT_EQ(decodeDate("2025-03-01T11:30:00+02:00"), at(2025, 3, 1, 9, 30));
  EXPECT_EQ(decodeDate("2025-03-01T09:30:00.5Z"), std::nullopt);
  EXPECT_EQ(decodeDate("2025-03-01T09:30:00"), std::nullopt);
  EXPECT_EQ(decodeDate("2025-03-01"), std::nullopt);
  EXPECT_EQ(SnapshotCoding::iso8601().decode(json(1740821400)), std::nullopt);

  EXPECT_EQ(SnapshotCoding::iso8601().encode(addingSeconds(at(2025, 3, 1, 9, 30), 0.75)),
            ordered_json("2025-03-01T09:30:00Z"));
}

TEST(SnapshotCoding, IsoDatesBeyondTheRangeOfDateAreRefused) {
  // A Date counts nanoseconds in 64 bits: 1677-09-21T00:12:43.145Z to 2262-04-11T23:47:16.854Z.
  for (const char* text : {"0000-01-01T00:00:00Z", "1677-09-21T00:12:43Z", "2262-04-11T23:47:17Z",
                           "9999-12-31T23:59:59Z", "1677-09-21T00:12:44+00:01"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(SnapshotCoding::iso8601().decode(json(text)), std::nullopt);
  }
  for (const char* text : {"1677-09-21T00:12:44Z", "2262-04-11T23:47:16Z"}) {
    SCOPED_TRACE(text);
    auto date = SnapshotCoding::iso8601().decode(json(text));
    ASSERT_TRUE(date);
    EXPECT_EQ(SnapshotCoding::iso8601().encode(*date), ordered_json(text));
  }
}

TEST(SnapshotCoding, WindowsAndProvidersCodeOnTheirOwn) {
  const Snapshot snapshot = fullSnapshot();
  for (const ProviderSnapshot& provider : snapshot.providers) {
    auto encoded = SnapshotCoding::encode(provider, SnapshotCoding::iso8601());
    ASSERT_TRUE(encoded);
    EXPECT_EQ(SnapshotCoding::decodeProviderSnapshot(json::parse(encoded->dump()),
                                                     SnapshotCoding::iso8601()),
              provider);
  }
  EXPECT_EQ(SnapshotCoding::decodeUsageWindow(json::array(), SnapshotCoding::iso8601()),
            std::nullopt);
}

}  // namespace
}  // namespace meterwright
