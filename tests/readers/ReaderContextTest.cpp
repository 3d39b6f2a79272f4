#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "core/secrets/SecretStore.h"
#include "desktop/readers/ClaudeDirectSource.h"
#include "desktop/readers/CompositeSource.h"
#include "desktop/readers/ReaderContext.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;

TEST(ReaderContext, ForProcessWiresTheRealPartsAndSharesOneRenewer) {
  testing::TemporaryFolder folder;
  auto locations = folder.locations();
  auto context = ReaderContext::forProcess(locations);
  ASSERT_TRUE(context.clock && context.http && context.secrets && context.renewer);
  EXPECT_EQ(context.locations, locations);
  EXPECT_EQ(context.environment.get("HOME"), EnvironmentBlock::ofProcess().get("HOME"));
  EXPECT_EQ(context.deadlines, ReaderDeadlines{});
  auto drift = std::chrono::abs(context.clock->now() - std::chrono::system_clock::now());
  EXPECT_LT(drift, std::chrono::minutes(1));

  // The secret store keeps its items in the support folder's keychain folder, and outlives the
  // context it came from together with the clock it stamps items with.
  auto secrets = context.secrets;
  context = ReaderContext::forProcess(locations);
  EXPECT_EQ(secrets->add({"service", "account", "label", "data", {}}), 0);
  EXPECT_FALSE(fs::is_empty(locations.supportFolder() / "keychain"));

  EXPECT_EQ(ReaderContext::forProcess(locations).renewer, context.renewer);
}

TEST(CompositeSourceMake, BuildsTheRealReadersAndKeepsTheTypedClaudeReader) {
  testing::TemporaryFolder folder;
  auto context = ReaderContext::forProcess(folder.locations());
  auto source = CompositeSource::make(false, true, Config::fallback(), context);
  ASSERT_TRUE(source->claudeDirectSource());
  EXPECT_EQ(source->claudeReader(), source->claudeDirectSource());
  EXPECT_FALSE(source->claudeDirectSource()->allowPrompt());
  auto sources = source->nativeSources();
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0]->name(), "Claude Code \u2014 Anthropic API");
  EXPECT_EQ(sources[1]->name(), "GPT Codex \u2014 local app-server");

  auto withoutClaude = CompositeSource::make(true, false, Config::fallback(), context);
  ASSERT_EQ(withoutClaude->nativeSources().size(), 1u);
  ASSERT_TRUE(withoutClaude->claudeDirectSource());
  EXPECT_TRUE(withoutClaude->claudeDirectSource()->allowPrompt());
}

}  // namespace
}  // namespace meterwright
