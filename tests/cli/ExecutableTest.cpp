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
    "meterwright \u2014 tray usage display you actually control\n"
    "\n"
    "  meterwright              run in the tray\n"
    "  meterwright --print      print the same line to stdout (statuslines, scripts)\n"
    "  meterwright --waybar     print it as one JSON object for Waybar\n"
    "  meterwright --follow     keep running, printing it again whenever it changes\n"
    "  meterwright --json       print the filtered snapshot as JSON\n"
    "  meterwright --config     print the config file path\n"
    "  meterwright --renew-claude  ask Claude Code to renew its sign-in, and report whether it "
    "did\n"
    "  meterwright --diagnose   report on every part that can quietly stop working\n"
    "  meterwright --wake-selftest  run the publish a sleeping computer does, and time it\n"
    "  meterwright --pair       show a pairing code for a phone or watch, until it pairs\n"
    "  meterwright --devices    list the paired devices\n"
    "  meterwright --revoke <id or name>  forget one paired device\n"
    "\n"
    "Add --allow-keychain to let a command-line run raise the keyring prompt for\n"
    "Claude; without it Claude is skipped rather than blocking on a dialog.\n"
    "\n"
    "Config: ~/.config/meterwright/config.json\n"
    "Set \"enabled\": false on any provider to remove it from every display.\n";

TEST_F(ExecutableTest, HelpPrintsTheTwentyLinesAndLeavesAConfiguration) {
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
  // The language is written once, not by every run that applies it.
  fs::path defaults = home / ".local" / "state" / "meterwright" / "defaults.json";
  auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(defaults, longAgo);
  EXPECT_EQ(run({"--config"}).status, 0);
  EXPECT_EQ(fs::last_write_time(defaults), longAgo);
  // The desktop layer's texts follow it too.
  auto selfTest = run({"--icloud-selftest"});
  EXPECT_EQ(selfTest.status, 1);
  EXPECT_THAT(selfTest.out, ::testing::StartsWith("\u2717 der Cloud-Ordner "));

  // A language without a table removes the choice: the system language (English here) applies.
  writeFile(configFile(), R"({"language": "xx"})");
  auto english = run({"--help"});
  EXPECT_EQ(english.out, helpText);

  // With no launch language, the system language decides.
  environment["LANG"] = "de_DE.UTF-8";
  auto system = run({"--help"});
  EXPECT_THAT(system.out, ::testing::StartsWith("meterwright \u2014 Nutzungsanzeige"));
}

TEST_F(ExecutableTest, IconExportsPrintTheirAbsolutePath) {
  fs::path work = folder.path() / "work";
  fs::create_directories(work);
  auto iconset = testing::runProgram(METERWRIGHT_EXECUTABLE, {"--make-icon"}, environment,
                                     folder.path() / "run", work);
  EXPECT_EQ(iconset.status, 0);
  EXPECT_EQ(iconset.out, (work / "Meterwright.iconset").string() + "\n");
  EXPECT_EQ(
      std::distance(fs::directory_iterator(work / "Meterwright.iconset"), fs::directory_iterator()),
      10);

  auto single = testing::runProgram(METERWRIGHT_EXECUTABLE, {"--make-app-icon", "out/icon.png"},
                                    environment, folder.path() / "run", work);
  EXPECT_EQ(single.status, 0);
  EXPECT_EQ(single.out, (work / "out/icon.png").string() + "\n");
  EXPECT_TRUE(fs::is_regular_file(work / "out/icon.png"));

  writeFile(work / "blocker", "a file where a folder should be");
  auto failed = run({"--make-app-icon", (work / "blocker/icon.png").string()});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "");
  EXPECT_THAT(failed.err, ::testing::StartsWith("icon export failed: "));
}

// A status bar starts the program every few seconds: what it loads decides what each line costs.
TEST_F(ExecutableTest, TheStatusLineProgramLoadsNoDrawingOrSessionLibrary) {
  auto elf = testing::runProgram("/usr/bin/readelf", {"-d", METERWRIGHT_EXECUTABLE}, environment,
                                 folder.path() / "run");
  if (elf.status != 0) GTEST_SKIP() << "readelf cannot read the program: " << elf.err;
  ASSERT_THAT(elf.out, ::testing::HasSubstr("libc.so"));
  for (const char* library : {"libcairo", "libpango", "librsvg", "libgdk_pixbuf", "libglib",
                              "libgio", "libgtk", "libavahi", "libqrencode", "libcurl"}) {
    EXPECT_THAT(elf.out, ::testing::Not(::testing::HasSubstr(library))) << library;
  }
}

TEST_F(ExecutableTest, ADrawingJobWithoutTheDesktopProgramSaysWhyAndFails) {
  // The status-line program alone, as a broken installation would leave it.
  fs::path alone = folder.path() / "alone" / "meterwright";
  fs::create_directories(alone.parent_path());
  fs::copy_file(METERWRIGHT_EXECUTABLE, alone);
  auto result =
      testing::runProgram(alone.string(), {"--preview"}, environment, folder.path() / "run");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_THAT(result.err,
              ::testing::HasSubstr("cannot start " +
                                   (alone.parent_path() / "meterwright-desktop").string()));
  // The status-line jobs do not need it.
  EXPECT_EQ(
      testing::runProgram(alone.string(), {"--config"}, environment, folder.path() / "run").status,
      0);
}

}  // namespace
}  // namespace meterwright
