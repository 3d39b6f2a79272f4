#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "desktop/readers/claude/TokenSetupAssistant.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;

class TokenSetupAssistantTest : public ::testing::Test {
 protected:
  TokenSetupAssistantTest() {
    assistant.onStateChange = [this](const TokenSetupAssistant::State& state) {
      states.push_back(state);
    };
  }
  testing::TemporaryFolder folder;
  fs::path handoff = folder.path() / "handoff";
  TokenSetupAssistant assistant;
  std::vector<TokenSetupAssistant::State> states;
};

TEST_F(TokenSetupAssistantTest, CancelOverwritesTheHandOffWithZerosThenDeletesIt) {
  const std::string token = "sk-ant-oat01-" + std::string(5000, 'x');
  testing::writeFile(handoff, token);
  // A second name for the same bytes shows what was left on disk once the first is gone.
  fs::path sameFile = folder.path() / "same-inode";
  fs::create_hard_link(handoff, sameFile);
  assistant.setHandoffFile(handoff);

  assistant.cancel();
  EXPECT_FALSE(fs::exists(handoff));
  EXPECT_EQ(testing::readFile(sameFile), std::string(token.size(), '\0'));
  EXPECT_EQ(states, (std::vector<TokenSetupAssistant::State>{TokenSetupAssistant::Idle{}}));
}

TEST_F(TokenSetupAssistantTest, CancelRemovesALinkWithoutWritingThroughIt) {
  fs::path elsewhere = folder.path() / "someone-elses";
  testing::writeFile(elsewhere, "keep me");
  fs::create_symlink(elsewhere, handoff);
  assistant.setHandoffFile(handoff);
  assistant.cancel();
  EXPECT_FALSE(fs::exists(fs::symlink_status(handoff)));
  EXPECT_EQ(testing::readFile(elsewhere), "keep me");

  // Nothing there, or no file at all: still idle.
  assistant.cancel();
  TokenSetupAssistant{}.cancel();
  EXPECT_EQ(states.size(), 2u);
}

}  // namespace
}  // namespace meterwright
