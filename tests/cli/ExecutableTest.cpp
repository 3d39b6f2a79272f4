// Runs the real meterwright executable in a temporary home, as a user would.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ProgramRun.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

class ExecutableTest : public ::testing::Test {
 protected:
  testing::ProgramResult run(std::vector<std::string> arguments) {
    return testing::runProgram(METERWRIGHT_EXECUTABLE, arguments, environment,
                               folder.path() / "run");
  }
  fs::path configFile() const { return home / ".config" / "meterwright" / "config.json"; }
  void backdateConfig() {
    fs::last_write_time(configFile(), fs::file_time_type::clock::now() - std::chrono::hours(48));
  }
  bool configRewritten() const {
    return fs::last_write_time(configFile()) >
           fs::file_time_type::clock::now() - std::chrono::hours(1);
  }

  testing::TemporaryFolder folder;
  fs::path home = folder.path() / "home";
  std::map<std::string, std::string> environment{
      {"HOME", home.string()}, {"LANG", "C.UTF-8"}, {"PATH", "/usr/bin:/bin"}};
};

const char* const helpText =
    "meterwright \u2014 menu bar usage display you actually control\n"
    "\n"
    "  meterwright              run as a menu bar app\n"
    "  meterwright --print      print the same line to stdout (statuslines, scripts)\n"
    "  meterwright --waybar     print it as one JSON object for Waybar\n"
    "  meterwright --follow     keep running, printing it again whenever it changes\n"
    "  meterwright --json       print the filtered snapshot as JSON\n"
    "  meterwright --config     print the config file path\n"
    "  meterwright --renew-claude  ask Claude Code to renew its sign-in, and report whether it "
    "did\n"
    "  meterwright --diagnose   report on every part that can quietly stop working\n"
    "  meterwright --wake-selftest  run the publish a sleeping Mac does, and time it\n"
    "\n"
    "Add --allow-keychain to let a command-line run raise the macOS Keychain prompt for\n"
    "Claude; without it Claude is skipped rather than blocking on a dialog.\n"
    "\n"
    "Config: ~/.config/meterwright/config.json\n"
    "Set \"enabled\": false on any provider to remove it from every display.\n";

TEST_F(ExecutableTest, HelpPrintsTheSeventeenLinesAndLeavesAConfiguration) {
  for (const char* option : {"--help", "-h"}) {
    auto result = run({option, "--diagnose"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, helpText);
    EXPECT_EQ(result.err, "");
  }
  EXPECT_TRUE(fs::exists(configFile()));
}

TEST_F(ExecutableTest, ConfigPrintsTheAbsolutePathAndIsIdempotent) {
  auto first = run({"--config"});
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, configFile().string() + "\n");
  ASSERT_TRUE(fs::exists(configFile()));
  std::string text = readFile(configFile());
  EXPECT_THAT(text, ::testing::StartsWith("{\n  \"barSegments\": 6,\n  \"claudeDirect\": true,\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("\"refreshSeconds\": 60,\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("\"pollSeconds\": 900,\n"));

  backdateConfig();
  auto second = run({"--config"});
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(readFile(configFile()), text);
  EXPECT_FALSE(configRewritten());
}

// What normalising does to each kind of file is ConfigStoreTest's and ConfigCodingTest's; here,
// that the executable rewrites a usable file and leaves an unusable one alone.
TEST_F(ExecutableTest, ConfigurationIsNormalisedOrLeftAlone) {
  writeFile(configFile(), R"({"refreshSeconds": 5})");
  backdateConfig();
  EXPECT_EQ(run({"--config"}).status, 0);
  EXPECT_TRUE(configRewritten());
  EXPECT_THAT(readFile(configFile()), ::testing::HasSubstr("\"refreshSeconds\": 15,"));

  writeFile(configFile(), "this is not JSON");
  backdateConfig();
  EXPECT_EQ(run({"--config"}).status, 0);
  EXPECT_FALSE(configRewritten());
  EXPECT_EQ(readFile(configFile()), "this is not JSON");
}

TEST_F(ExecutableTest, LaunchLanguageComesFromTheConfiguration) {
  writeFile(configFile(), R"({"language": "de"})");
  auto german = run({"--help"});
  EXPECT_THAT(german.out, ::testing::StartsWith("meterwright \u2014 Nutzungsanzeige"));
  auto notBuilt = run({"--preview"});
  EXPECT_EQ(notBuilt.status, 2);
  EXPECT_EQ(notBuilt.out, "");
  EXPECT_EQ(notBuilt.err, "meterwright: --preview ist noch nicht gebaut\n");

  // A language without a table removes the choice: the system language (English here) applies.
  writeFile(configFile(), R"({"language": "xx"})");
  auto english = run({"--help"});
  EXPECT_EQ(english.out, helpText);

  // With no launch language, the system language decides.
  environment["LANG"] = "de_DE.UTF-8";
  auto system = run({"--help"});
  EXPECT_THAT(system.out, ::testing::StartsWith("meterwright \u2014 Nutzungsanzeige"));
}

}  // namespace
}  // namespace meterwright
