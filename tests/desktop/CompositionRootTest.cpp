#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/secrets/SecretStore.h"
#include "desktop/CompositionRoot.h"
#include "desktop/readers/claude/ClaudeDirectSource.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;

TEST(CompositionRoot, ForProcessWiresTheRealParts) {
  testing::TemporaryFolder folder;
  auto locations = folder.locations();
  auto root = CompositionRoot::forProcess(locations, false);
  const ReaderContext& context = root.readerContext();
  ASSERT_TRUE(context.clock && context.http && context.secrets && context.renewer);
  EXPECT_EQ(context.deadlines, ReaderDeadlines{});
  auto drift = std::chrono::abs(context.clock->now() - std::chrono::system_clock::now());
  EXPECT_LT(drift, std::chrono::minutes(1));

  // The secret store keeps its items in the support folder's keychain folder, and outlives the
  // root it came from together with the clock it stamps items with.
  auto secrets = context.secrets;
  root = CompositionRoot::forProcess(locations, false);
  EXPECT_EQ(secrets->add({"service", "account", "label", "data", {}}), 0);
  EXPECT_FALSE(fs::is_empty(locations.supportFolder() / "keychain"));
}

TEST(CompositionRoot, EveryCompositeSourceSharesTheRootsReaders) {
  testing::TemporaryFolder folder;
  auto root = CompositionRoot::forProcess(folder.locations(), false);
  ASSERT_TRUE(root.claudeReader());
  EXPECT_FALSE(root.claudeReader()->allowPrompt());
  auto source = root.compositeSource(true, Config::fallback());
  EXPECT_EQ(source->claudeReader(), root.claudeReader());
  auto sources = source->nativeSources();
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0]->name(), "Claude Code \u2014 Anthropic API");
  EXPECT_EQ(sources[1]->name(), "GPT Codex \u2014 local app-server");

  // Without Claude read directly the reader is still there for its sign-in expiry.
  auto prompting = CompositionRoot::forProcess(folder.locations(), true);
  auto withoutClaude = prompting.compositeSource(false, Config::fallback());
  ASSERT_EQ(withoutClaude->nativeSources().size(), 1u);
  EXPECT_TRUE(prompting.claudeReader()->allowPrompt());
  EXPECT_EQ(prompting.compositeSource(true, Config::fallback())->claudeReader(),
            prompting.claudeReader());
}

// The audit's case: with both providers disabled the token still went out and `codex` started.
TEST(CompositionRoot, PollsOnlyTheProvidersTheConfigurationShows) {
  testing::TemporaryFolder folder;
  auto root = CompositionRoot::forProcess(folder.locations(), false);
  auto configured = [](std::vector<std::pair<std::string, bool>> entries) {
    Config config = Config::fallback();
    config.providers.clear();
    for (const auto& [id, enabled] : entries) {
      ProviderConfig entry = ProviderConfig::defaults(id);
      entry.enabled = enabled;
      config.providers.push_back(entry);
    }
    return config;
  };
  struct Row {
    Config config;
    bool claudeDirect;
    std::vector<std::string> polled;
  };
  const std::string claude = "Claude Code \u2014 Anthropic API",
                    codex = "GPT Codex \u2014 local app-server";
  for (const Row& row : {
           Row{configured({{"claude", false}, {"codex", false}}), true, {}},
           Row{configured({{"CODEX", true}, {"claude", false}}), true, {codex}},
           Row{configured({{"claude", true}, {"codex", false}}), true, {claude}},
           Row{configured({{"claude", true}, {"codex", true}}), false, {codex}},
           Row{configured({{"claude", true}}), true, {claude}},
           Row{configured({}), true, {}},
       }) {
    auto source = root.compositeSource(row.claudeDirect, row.config);
    std::vector<std::string> polled;
    for (const auto& each : source->nativeSources()) polled.push_back(each->name());
    EXPECT_EQ(polled, row.polled) << row.config.providers.size() << " entries";
    EXPECT_EQ(source->claudeReader(), root.claudeReader());
  }
}

}  // namespace
}  // namespace meterwright
