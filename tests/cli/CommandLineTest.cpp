#include <gtest/gtest.h>

#include <sstream>

#include "cli/CommandLine.h"
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
  for (auto arguments : std::vector<std::vector<std::string>>{
           {}, {"--prnt"}, {"--PRINT"}, {"--print=yes"}, {"--allow-keychain"}, {"help"}}) {
    EXPECT_EQ(CommandLine::dispatch(arguments), Job::application)
        << ::testing::PrintToString(arguments);
  }
}

TEST(CommandLineRun, JobsNotBuiltYetSaySoAndExitTwo) {
  testing::TemporaryFolder folder;
  auto locations = folder.locations();
  for (const char* option : {"--test-notification", "--renew-claude", "--diagnose",
                             "--icloud-selftest", "--wake-selftest"}) {
    std::ostringstream out, err;
    EXPECT_EQ(CommandLine::run({option}, locations, out, err), 2) << option;
    EXPECT_EQ(out.str(), "") << option;
    EXPECT_EQ(err.str(), std::string("meterwright: ") + option + " is not built yet\n");
  }
  std::ostringstream out, err;
  EXPECT_EQ(CommandLine::run({"--allow-keychain"}, locations, out, err), 2);
  EXPECT_EQ(err.str(), "meterwright: the tray application is not built yet\n");
}

}  // namespace
}  // namespace meterwright
