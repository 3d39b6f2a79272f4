#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <utility>

#include "core/sync/protocol/SyncCoding.h"

namespace meterwright {
namespace {

using nlohmann::json;
using std::chrono::microseconds;

Date micros(long long count) {
  return Date{microseconds(count)};
}

SyncPayload samplePayload() {
  ProviderSnapshot claude{"claude", "Claude", "max", "live", micros(1'740'821'340'125'000), {}};
  claude.windows = {{300, 0.1 + 0.2, {}, {}}, {10080, 50, micros(1'741'132'800'000'000), "opus"}};
  ProviderSnapshot codex{"codex", "Codex \"β\"", {}, "unavailable", {}, {}};
  Snapshot snapshot{micros(1'740'821'400'500'000), {claude, codex}, "composite", "direct"};

  return SyncPayload{
      2,
      micros(1'740'821'400'250'000),
      "Ada's MacBook",
      snapshot,
      {ProviderConfig{"claude", "Claude", true, {300, 10080}, "sparkle", "#D97757", 300},
       ProviderConfig{"codex", "Codex", false, {}, "app:/usr/share/codex.png", "#2E6BE6", 600.5}},
      Config::Metric::used,
      20,
      {SyncEvent{SyncEvent::RunningLow{"claude", "Claude", "5h", 15}},
       SyncEvent{SyncEvent::WindowReset{"codex", "Codex", "7d", true}}},
      {{"claude", "\x89PNG"}},
  };
}

const std::string sampleText =
    R"({"version":2,"sentAt":1740821400.25,"sourceName":"Ada's MacBook","snapshot":)"
    R"({"generatedAt":1740821400.5,"providers":[{"id":"claude","name":"Claude","plan":"max",)"
    R"("state":"live","observedAt":1740821340.125,"windows":[{"windowMinutes":300,)"
    R"("usedPercent":0.30000000000000004},{"windowMinutes":10080,"usedPercent":50,)"
    R"("resetsAt":1741132800,"group":"opus"}]},{"id":"codex","name":"Codex \"β\"",)"
    R"("state":"unavailable","windows":[]}],"sourceName":"composite","sourcePath":"direct"},)"
    R"("providers":[{"id":"claude","label":"Claude","enabled":true,"windows":[300,10080],)"
    R"("icon":"sparkle","accent":"#D97757","pollSeconds":300},{"id":"codex","label":"Codex",)"
    R"("enabled":false,"windows":[],"icon":"app:/usr/share/codex.png","accent":"#2E6BE6",)"
    R"("pollSeconds":600.5}],"metric":"used","warnBelowRemainingPercent":20,"events":)"
    R"([{"runningLow":{"provider":"claude","providerName":"Claude","window":"5h",)"
    R"("remainingPercent":15}},{"windowReset":{"provider":"codex","providerName":"Codex",)"
    R"("window":"7d","wasSpent":true}}],"icons":{"claude":"iVBORw=="}})";

// The sample's JSON with the member at `pointer` replaced by the JSON `value`, or removed.
std::optional<SyncPayload> decodeEdited(const std::string& pointer, const std::string& value) {
  json document = json::parse(sampleText);
  json::json_pointer path(pointer);
  if (value.empty()) {
    document[path.parent_pointer()].erase(path.back());
  } else {
    document[path] = json::parse(value);
  }
  return SyncCoding::decodePayload(document.dump());
}

TEST(SyncPayloadCoding, WritesAllNineKeysInFieldOrderWithDatesAsSecondsSince1970) {
  EXPECT_EQ(SyncCoding::encode(samplePayload()), sampleText);
  EXPECT_EQ(SyncCoding::decodePayload(sampleText), samplePayload());
  json document = json::parse(sampleText);  // unknown keys are ignored at every level
  document["colourScheme"] = "dark";
  document["providers"][0]["shortcut"] = "⌘K";
  document["snapshot"]["providers"][0]["windows"][0]["model"] = "opus";
  document["events"][0]["runningLow"]["severity"] = 2;
  EXPECT_EQ(SyncCoding::decodePayload(document.dump()), samplePayload());
}

TEST(SyncPayloadCoding, EmptyEventsAndIconsAreWrittenButMayBeMissingOrNull) {
  SyncPayload empty = samplePayload();
  empty.events.clear();
  empty.icons.clear();
  auto text = SyncCoding::encode(empty);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find(R"("events":[],"icons":{}})"), std::string::npos) << *text;
  for (const char* absent : {"", "null"}) {
    json document = json::parse(sampleText);
    document.erase("events");
    if (*absent) document["events"] = nullptr;
    document.erase("icons");
    if (*absent) document["icons"] = nullptr;
    EXPECT_EQ(SyncCoding::decodePayload(document.dump()), empty) << absent;
  }
}

TEST(SyncPayloadCoding, AMissingKeyOrAFaultAnywhereFailsTheWholePayload) {
  // Each row is "pointer=value"; an empty value removes the member.
  for (std::string edit :
       {"/version=",
        "/sentAt=null",
        "/sourceName=",
        "/snapshot=null",
        "/providers=",
        "/metric=",
        "/warnBelowRemainingPercent=null",
        R"(/version="2")",
        R"(/sentAt="2025-03-01T09:30:00Z")",
        "/sourceName=7",
        R"(/metric="Used")",
        "/warnBelowRemainingPercent=20.5",
        "/providers={}",
        "/providers/0/id=",
        R"(/providers/0/enabled="yes")",
        "/providers/0/windows=[300, 7.5]",
        R"(/providers/0/pollSeconds="300")",
        R"(/snapshot/generatedAt="2025-03-01T09:30:00Z")",
        R"(/snapshot/providers/0/windows/1/resetsAt="2025-03-05T00:00:00Z")",
        "/snapshot/sourcePath=",
        "/events={}",
        "/events/0/runningLow/remainingPercent=",
        R"(/events/0={"runningOut":{"provider":"claude","providerName":"Claude"}})",
        R"(/icons=["iVBORw=="])",
        R"(/icons/claude="iVBORw")",
        "/icons/claude=null"}) {
    std::size_t split = edit.find('=');
    EXPECT_EQ(decodeEdited(edit.substr(0, split), edit.substr(split + 1)), std::nullopt) << edit;
  }
}

TEST(SyncPayloadCoding, AProviderWithOnlyAnIdTakesTheCataloguesDefaultsWithoutMigration) {
  auto payload = decodeEdited(
      "/providers",
      R"([{"id":"codex"},{"id":"acme","label":null},{"id":"codex","accent":"#10A37F","icon":"sparkle"}])");
  ASSERT_TRUE(payload);
  ASSERT_EQ(payload->providers.size(), 3u);
  EXPECT_EQ(
      payload->providers[0],
      (ProviderConfig{"codex", "Codex", true, {}, payload->providers[0].icon, "#2E6BE6", 600}));
  EXPECT_EQ(payload->providers[1],
            (ProviderConfig{"acme", "Acme", true, {}, "circle.hexagongrid.fill", "#8E8E93", 900}));
  // A legacy accent and symbol stay: the sender has already settled its values.
  EXPECT_EQ(payload->providers[2].accent, "#10A37F");
  EXPECT_EQ(payload->providers[2].icon, "sparkle");
}

TEST(SyncPayloadCoding, ValuesJsonCannotCarryFailTheEncode) {
  SyncPayload nan = samplePayload(), infinite = nan, notUtf8 = nan;
  nan.snapshot.providers[0].windows[0].usedPercent = std::nan("");
  infinite.providers[1].pollSeconds = HUGE_VAL;
  notUtf8.sourceName = "Ada\xc3";
  for (const SyncPayload& payload : {nan, infinite, notUtf8}) {
    EXPECT_EQ(SyncCoding::encode(payload), std::nullopt);
  }
}

TEST(SyncDateCoding, WholeInstantsAreIntegersAndFractionsAreKept) {
  // Nanoseconds are rounded to the microsecond.
  const std::vector<std::pair<Date, const char*>> encoded = {
      {micros(1'740'821'400'000'000), "1740821400"},
      {micros(-1'500'000), "-1.5"},
      {Date{}, "0"},
      {Date{std::chrono::nanoseconds(1'740'821'400'123'456'789)}, "1740821400.123457"}};
  for (const auto& [date, text] : encoded) EXPECT_EQ(SyncCoding::dateToJson(date).dump(), text);
  EXPECT_EQ(SyncCoding::dateFromJson(json::parse("1740821400.123457")),
            micros(1'740'821'400'123'457));
  EXPECT_EQ(SyncCoding::dateFromJson(json::parse("-0.25")), micros(-250'000));
  for (const char* notADate : {R"("1740821400")", "true", "null"}) {
    EXPECT_EQ(SyncCoding::dateFromJson(json::parse(notADate)), std::nullopt) << notADate;
  }
}

TEST(SyncDateCoding, ADecodedDateReencodesToANumberThatDecodesToItAgain) {
  // Where a double's step nears a nanosecond or a microsecond, naive conversions drift.
  for (const char* number :
       {"1740821400.123456789", "8388608.1234567891", "8388607.9999995", "0.0000004", "0.0000005",
        "-0.0000005", "-8388608.9999996", "9199999999.999999", "-9199999999.4999995", "1e300",
        "-1e300", "4.9e-324", "18446744073709551615", "-9223372036854775808"}) {
    auto first = SyncCoding::dateFromJson(json::parse(number));
    ASSERT_TRUE(first) << number;
    auto again = SyncCoding::dateFromJson(json::parse(SyncCoding::dateToJson(*first).dump()));
    EXPECT_EQ(again, first) << number;
  }
}

}  // namespace
}  // namespace meterwright
