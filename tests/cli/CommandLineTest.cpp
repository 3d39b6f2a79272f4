#include <gtest/gtest.h>

#include <sstream>

#include "cli/CommandLine.h"
#include "cli/JobRunner.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using CommandLine::Job;

TEST(CommandLineDispatch, FirstOptionInTableOrderWinsAndOnlyModifiersMeanTheApplication) {
  EXPECT_EQ(CommandLine::dispatch({"--print", "--json"}), Job::print);
  EXPECT_EQ(CommandLine::dispatch({"--json", "--print"}), Job::print);
  EXPECT_EQ(CommandLine::dispatch({"--json", "--config"}), Job::config);
  EXPECT_EQ(CommandLine::dispatch({"-h", "--diagnose"}), Job::help);
  EXPECT_EQ(CommandLine::dispatch({"--preview", "--wake-selftest"}), Job::wakeSelftest);
  EXPECT_EQ(CommandLine::dispatch({"--make-icon", "out", "--test-notification"}), Job::makeIcon);
  EXPECT_EQ(CommandLine::dispatch({}), Job::application);
  EXPECT_EQ(CommandLine::dispatch({"--allow-keychain"}), Job::application);
  EXPECT_EQ(CommandLine::dispatch({"--allow-keychain", "--json"}), Job::json);
  // --waybar and --follow modify --print, and alone mean it.
  EXPECT_EQ(CommandLine::dispatch({"--waybar"}), Job::print);
  EXPECT_EQ(CommandLine::dispatch({"--follow", "--allow-keychain"}), Job::print);
  EXPECT_EQ(CommandLine::dispatch({"--waybar", "--follow", "--print"}), Job::print);
  EXPECT_EQ(CommandLine::dispatch({"--follow", "--json"}), Job::json);
  EXPECT_EQ(CommandLine::dispatch({"--waybar", "--config"}), Job::config);
}

TEST(CommandLineDispatch, AnArgumentNothingUnderstandsIsNamed) {
  using Arguments = std::vector<std::string>;
  for (auto [arguments, unknown] : std::vector<std::pair<Arguments, std::string>>{
           {{"--jsn"}, "--jsn"},
           {{"print"}, "print"},
           {{"-x"}, "-x"},
           {{"--PRINT"}, "--PRINT"},
           {{"--print=yes"}, "--print=yes"},
           {{"--print", "--bogus"}, "--bogus"},
           {{"--allow-keychain", "help"}, "help"},
           {{"--json", "out"}, "out"},
           {{"--make-icon", "a", "b"}, "b"},
           {{"--revoke", "Ada", "iPad"}, "iPad"},
       }) {
    EXPECT_EQ(CommandLine::unknownArgument(arguments), unknown)
        << ::testing::PrintToString(arguments);
    EXPECT_EQ(CommandLine::dispatch(arguments), Job::unknownOption);
  }
  // The icon options' path is theirs, even when it looks like a stray word.
  EXPECT_EQ(CommandLine::unknownArgument({"--make-app-icon", "icon.png", "--allow-keychain"}),
            std::nullopt);
  EXPECT_EQ(CommandLine::dispatch({"--make-icon", "--print"}), Job::print);
  // --revoke's value is whatever follows, even a word that names an option.
  EXPECT_EQ(CommandLine::dispatch({"--revoke", "pair"}), Job::revoke);
  EXPECT_EQ(CommandLine::valueAfter({"--revoke", "--pair"}, "--revoke"), "--pair");
  EXPECT_EQ(CommandLine::dispatch({"--devices", "--pair"}), Job::pair);
}

TEST(CommandLineRun, AnUnknownOptionSaysSoOnStandardErrorAndExitsTwo) {
  testing::TemporaryFolder folder;
  std::ostringstream out, err;
  EXPECT_EQ(JobRunner::run({"--jsn"}, folder.locations(), out, err), 2);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(
      err.str(),
      "meterwright: unknown option --jsn\nTry 'meterwright --help' for the list of options.\n");
}

}  // namespace
}  // namespace meterwright
