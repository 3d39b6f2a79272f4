#include <gtest/gtest.h>

#include <sstream>

#include "cli/CommandLine.h"
#include "core/settings/UserDefaults.h"
#include "core/text/Localization.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using CommandLine::Job;

TEST(CommandLineDispatch, FirstOptionInTableOrderWins) {
  EXPECT_EQ(CommandLine::dispatch({"--print", "--json"}), Job::print);
  EXPECT_EQ(CommandLine::dispatch({"--json", "--print"}), Job::print);
  EXPECT_EQ(CommandLine::dispatch({"--json", "--config"}), Job::config);
  EXPECT_EQ(CommandLine::dispatch({"-h", "--diagnose"}), Job::help);
  EXPECT_EQ(CommandLine::dispatch({"--preview", "--wake-selftest"}), Job::wakeSelftest);
  EXPECT_EQ(CommandLine::dispatch({"--make-icon", "out", "--test-notification"}), Job::makeIcon);
}

TEST(CommandLineDispatch, AnythingElseStartsTheApplication) {
  EXPECT_EQ(CommandLine::dispatch({}), Job::application);
  EXPECT_EQ(CommandLine::dispatch({"--prnt"}), Job::application);
  EXPECT_EQ(CommandLine::dispatch({"--PRINT"}), Job::application);
  EXPECT_EQ(CommandLine::dispatch({"--print=yes"}), Job::application);
  EXPECT_EQ(CommandLine::dispatch({"--allow-keychain"}), Job::application);
  EXPECT_EQ(CommandLine::dispatch({"help"}), Job::application);
}

TEST(CommandLineRun, PrintsTheConfigurationPathAndCreatesTheFile) {
  testing::TemporaryFolder folder;
  auto locations = folder.locations();
  std::ostringstream out, err;
  int status = CommandLine::run({"--config", "--allow-keychain"}, locations, out, err);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.str(), locations.configFile().string() + "\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_TRUE(std::filesystem::exists(locations.configFile()));
}

TEST(CommandLineRun, JobsNotBuiltYetSaySoAndExitTwo) {
  testing::TemporaryFolder folder;
  auto locations = folder.locations();
  for (const char* option :
       {"--make-icon", "--make-app-icon", "--test-notification", "--renew-claude", "--diagnose",
        "--icloud-selftest", "--wake-selftest", "--preview"}) {
    std::ostringstream out, err;
    EXPECT_EQ(CommandLine::run({option}, locations, out, err), 2) << option;
    EXPECT_EQ(out.str(), "") << option;
    EXPECT_EQ(err.str(), std::string("meterwright: ") + option + " is not built yet\n");
  }
  std::ostringstream out, err;
  EXPECT_EQ(CommandLine::run({"--allow-keychain"}, locations, out, err), 2);
  EXPECT_EQ(err.str(), "meterwright: the tray application is not built yet\n");
}

TEST(CommandLineRun, TextsFollowTheLaunchLanguageOfTheGivenLocations) {
  testing::TemporaryFolder folder;
  auto locations = folder.locations();
  testing::writeFile(locations.configFile(), R"({"language": "de"})");
  std::ostringstream out, err;
  CommandLine::run({"--preview"}, locations, out, err);
  EXPECT_EQ(err.str(), "meterwright: --preview ist noch nicht gebaut\n");

  // Back to the system language for whatever runs next in this process.
  UserDefaults defaults(locations.userDefaultsFile());
  Localization::apply("", defaults);
}

}  // namespace
}  // namespace meterwright
