#include <gtest/gtest.h>

#include <filesystem>

#include "core/providers/ProviderRegistry.h"
#include "core/readers/CompositeSource.h"
#include "core/readers/PollStateStore.h"
#include "core/readers/ScriptedSource.h"
#include "core/usage/SnapshotStore.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedSource;

constexpr double day = 86400;

ProviderSnapshot provider(std::string id, std::optional<Date> observedAt, double used = 40) {
  return {id, id + " reader", {}, "live", observedAt, {{300, used, {}, {}}}};
}

// The same reading as restored from the store without its provider's last attempt to vouch for it.
ProviderSnapshot cached(ProviderSnapshot provider) {
  provider.state = "cached";
  return provider;
}

Snapshot readingOf(std::vector<ProviderSnapshot> providers, Date generatedAt) {
  return {generatedAt, std::move(providers), {}, "direct"};
}

class CompositeSourceTest : public ::testing::Test {
 protected:
  std::unique_ptr<CompositeSource> make(bool claudeDirect = true) {
    return std::make_unique<CompositeSource>(CompositeSource::Readers{claude, codex}, claudeDirect,
                                             config, locations, clock);
  }
  void store(std::vector<ProviderSnapshot> providers, Date at) {
    SnapshotStore::save(readingOf(std::move(providers), at), locations);
  }
  std::optional<Snapshot> stored() const {
    return SnapshotStore::load(SnapshotStore::sevenDays, clock->now(), locations);
  }
  void bothFail() {
    claude->thenFailure("offline");
    codex->thenFailure("offline");
  }

  testing::TemporaryFolder folder;
  FileLocations locations = folder.locations();
  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  Date now = clock->now();
  std::shared_ptr<ScriptedSource> claude = std::make_shared<ScriptedSource>("Claude");
  std::shared_ptr<ScriptedSource> codex = std::make_shared<ScriptedSource>("Codex");
  Config config = Config::fallback();
};

TEST_F(CompositeSourceTest, WithoutClaudeDirectOnlyCodexIsAskedButTheClaudeReaderIsKept) {
  codex->thenReading(readingOf({provider("codex", now)}, now));
  auto source = make(false);
  ASSERT_EQ(source->nativeSources().size(), 1u);
  EXPECT_EQ(source->nativeSources()[0]->name(), "Codex");
  EXPECT_EQ(source->claudeReader(), claude);
  EXPECT_TRUE(source->read());
  EXPECT_EQ(claude->reads(), 0);
  EXPECT_EQ(codex->reads(), 1);
}

TEST_F(CompositeSourceTest, AStoredReadingUpToSevenDaysOldSeedsTheFirstRead) {
  bothFail();
  Date sixDaysAgo = addingSeconds(now, -6 * day);
  store({provider("claude", sixDaysAgo), provider("codex", sixDaysAgo)}, sixDaysAgo);
  EXPECT_EQ(make()->read(), readingOf({cached(provider("claude", sixDaysAgo)),
                                       cached(provider("codex", sixDaysAgo))},
                                      sixDaysAgo));
  Date eightDaysAgo = addingSeconds(now, -8 * day);
  store({provider("claude", eightDaysAgo)}, eightDaysAgo);
  EXPECT_EQ(make()->read(), std::nullopt);
}

TEST_F(CompositeSourceTest, AFreshReadingMergesWithTheLastKnownOneAndIsStored) {
  Date earlier = addingSeconds(now, -3600);
  store({provider("codex", earlier, 70)}, earlier);
  Date observed = addingSeconds(now, -5);
  claude->thenReading(readingOf({provider("claude", observed, 10)}, observed));
  codex->thenFailure("codex: app-server did not answer");

  auto source = make();
  EXPECT_EQ(source->read(),
            readingOf({provider("claude", observed, 10), cached(provider("codex", earlier, 70))},
                      observed));
  EXPECT_EQ(stored(), readingOf({provider("claude", observed, 10), provider("codex", earlier, 70)},
                                observed));
  EXPECT_EQ(source->failures(), (std::map<std::string, SourceFailure>{
                                    {"codex", {"codex: app-server did not answer", "", false}}}));
}

TEST_F(CompositeSourceTest, ProvidersAreSortedByIdAndTheLaterOfTwoEqualIdsWins) {
  codex->thenReading(readingOf({provider("codex", now, 1), provider("alpha", now),
                                provider("Zed", now), provider("codex", now, 2)},
                               now));
  auto snapshot = make(false)->read();
  ASSERT_TRUE(snapshot);
  std::vector<std::string> ids;
  for (const auto& each : snapshot->providers) ids.push_back(each.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"Zed", "alpha", "codex"}));
  EXPECT_EQ(snapshot->providers[2].windows[0].usedPercent, 2);
}

TEST_F(CompositeSourceTest, GeneratedAtIsTheNewestObservationOrTheDistantPast) {
  Date older = addingSeconds(now, -100);
  claude->thenReading(readingOf({provider("claude", older)}, now));
  codex->thenReading(readingOf({provider("codex", std::nullopt)}, now));
  EXPECT_EQ(make()->read()->generatedAt, older);
  fs::remove(SnapshotStore::url(locations));
  clock->advance(3600);
  EXPECT_EQ(make(false)->read()->generatedAt, Date::min());
}

TEST_F(CompositeSourceTest, TheStoreIsWrittenOnlyWhenARoundBringsSomethingFresh) {
  bothFail();
  EXPECT_EQ(make()->read(), std::nullopt);
  EXPECT_FALSE(fs::exists(SnapshotStore::url(locations)));

  Date earlier = addingSeconds(now, -3600);
  store({provider("codex", earlier)}, earlier);
  auto written = fs::last_write_time(SnapshotStore::url(locations)) - std::chrono::hours(2);
  fs::last_write_time(SnapshotStore::url(locations), written);
  EXPECT_EQ(make()->read()->providers, std::vector{cached(provider("codex", earlier))});
  EXPECT_EQ(fs::last_write_time(SnapshotStore::url(locations)), written);
}

TEST_F(CompositeSourceTest, AFailingProviderKeepsItsLastReadingFromAnEarlierRound) {
  claude->thenReading(readingOf({provider("claude", now, 10)}, now));
  claude->thenFailure("offline");
  codex->thenReading(readingOf({provider("codex", now, 20)}, now));
  auto source = make();
  ASSERT_TRUE(source->read());
  clock->advance(3600);
  Date later = clock->now();
  codex->thenReading(readingOf({provider("codex", later, 30)}, later));
  EXPECT_EQ(source->read(),
            readingOf({provider("claude", now, 10), provider("codex", later, 30)}, later));
  EXPECT_EQ(claude->reads(), 2);
  EXPECT_EQ(codex->reads(), 2);
}

TEST_F(CompositeSourceTest, ForceRefreshOpensEverySourceAndTheWaitIsTheShortest) {
  bothFail();
  auto source = make();
  source->read();
  EXPECT_EQ(source->manualRefreshAvailableIn(), 60);
  clock->advance(30);
  EXPECT_FALSE(source->forceRefresh());
  // Claude is asked again earlier than Codex, so afterwards its manual wait is the longer one.
  clock->advance(30);
  source->nativeSources()[1]->read();  // still inside Codex's back-off: not asked
  ASSERT_TRUE(source->nativeSources()[0]->forceRefresh());
  source->nativeSources()[0]->read();
  EXPECT_EQ(claude->reads(), 2);
  clock->advance(20);
  EXPECT_EQ(source->nativeSources()[0]->manualRefreshAvailableIn(), 40);
  EXPECT_EQ(source->manualRefreshAvailableIn(), 0);

  clock->advance(40);
  EXPECT_TRUE(source->forceRefresh());
  source->read();
  EXPECT_EQ(claude->reads(), 3);
  EXPECT_EQ(codex->reads(), 2);
}

TEST_F(CompositeSourceTest, PollIntervalIsTheConfiguredOneRaisedToTheProvidersFloor) {
  const double claudeFloor = ProviderRegistry::claude().pollFloor;
  ASSERT_GT(claudeFloor, 30);
  for (auto [seconds, expected] : {std::pair<std::optional<double>, double>{30, claudeFloor},
                                   {900, 900},
                                   {std::nullopt, ProviderRegistry::claude().pollDefault}}) {
    config = Config::fallback();
    std::erase_if(config.providers, [](const auto& each) { return each.id == "claude"; });
    if (seconds) {
      config.providers.push_back(ProviderConfig::defaults("Claude"));
      config.providers.back().pollSeconds = *seconds;
    }
    EXPECT_EQ(make()->nativeSources()[0]->minimumInterval(), expected) << seconds.value_or(-1);
  }
}

TEST_F(CompositeSourceTest, TheOwnerCanForgetAProvider) {
  claude->thenReading(readingOf({provider("claude", now)}, now));
  codex->thenReading(readingOf({provider("codex", now)}, now));
  auto source = make();
  source->read();
  source->forget("claude");
  EXPECT_EQ(source->lastKnown().size(), 1u);
  EXPECT_EQ(source->lastKnown().count("codex"), 1u);
  // Served from Claude's cache again on the next read, so it comes back until it is disabled.
  EXPECT_EQ(source->read()->providers.size(), 2u);
}

// Whatever an earlier process left: the poll state of Claude's last attempt, and the stored
// reading. A restored reading is live only when that attempt produced it.
TEST_F(CompositeSourceTest, ARestoredReadingIsLiveOnlyWhenItsProvidersLastAttemptProducedIt) {
  Date observed = addingSeconds(now, -200);
  Date fiveDaysAgo = addingSeconds(now, -5 * day);
  struct Row {
    const char* name;
    std::optional<Date> produced;
    int failureStreak;
    Date storedObservation;
    std::string storedState;
    std::string shown;
  };
  const Row rows[] = {
      {"its attempt's reading", observed, 0, observed, "live", "live"},
      {"no poll state", std::nullopt, 0, observed, "live", "cached"},
      {"the last attempt failed", observed, 1, observed, "live", "cached"},
      {"a reading edited to five days old", observed, 0, fiveDaysAgo, "live", "cached"},
      {"stored as cached", observed, 0, observed, "cached", "live"},
      {"unavailable", observed, 0, observed, "Unavailable", "Unavailable"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(locations.pollStateFolder());
    {
      auto hold = PollStateStore::inFolder(locations.pollStateFolder())->hold("claude");
      ASSERT_TRUE(hold);
      hold->state.lastAttempt = addingSeconds(now, -200);  // not due: the store answers
      hold->state.failureStreak = row.failureStreak;
      hold->state.lastReadingObservedAt = row.produced;
      ASSERT_TRUE(hold->commit());
    }
    ProviderSnapshot reading = provider("claude", row.storedObservation);
    reading.state = row.storedState;
    store({reading}, row.storedObservation);
    codex->thenFailure("offline");

    auto snapshot = make()->read();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->provider("claude")->state, row.shown);
    EXPECT_EQ(claude->reads(), 0);
  }
}

TEST_F(CompositeSourceTest, AReadingAnotherProcessFetchedIsTakenUpOnTheNextRead) {
  claude->thenReading(readingOf({provider("claude", now, 10)}, now));
  codex->thenReading(readingOf({provider("codex", now, 20)}, now));
  auto tray = make();
  ASSERT_TRUE(tray->read());

  // A status line started after Claude's floor fetches it; the tray then is not due.
  clock->advance(ProviderRegistry::claude().pollDefault);
  Date later = clock->now();
  auto otherClaude = std::make_shared<ScriptedSource>("Claude");
  otherClaude->thenReading(readingOf({provider("claude", later, 70)}, later));
  auto otherCodex = std::make_shared<ScriptedSource>("Codex");
  otherCodex->thenReading(readingOf({provider("codex", later, 25)}, later));
  CompositeSource statusLine({otherClaude, otherCodex}, true, config, locations, clock);
  ASSERT_TRUE(statusLine.read());

  EXPECT_EQ(tray->read(),
            readingOf({provider("claude", later, 70), provider("codex", later, 25)}, later));
  EXPECT_EQ(claude->reads() + codex->reads(), 2);
  EXPECT_EQ(otherClaude->reads() + otherCodex->reads(), 2);
}

}  // namespace
}  // namespace meterwright
