#include <gtest/gtest.h>

#include <sstream>

#include "platform/power/SleepSchedule.h"
#include "platform/power/WakeHelper.h"
#include "platform/power/WakeUnits.h"
#include "support/FakePrograms.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using testing::readFile;
using testing::writeFile;
using Failure = SleepSchedule::Failure;

class SleepScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"pkexec", "systemctl"})
      testing::FakePrograms::installRecorder(folder, name);
  }

  void answer(const std::string& program, const std::string& say, int status = 0) {
    writeFile(bin / (program + ".say"), say);
    writeFile(bin / (program + ".status"), std::to_string(status) + "\n");
  }
  std::vector<std::vector<std::string>> runs(const std::string& program) {
    return testing::FakePrograms::recordedRuns(folder, program);
  }

  testing::TemporaryFolder folder;
  std::filesystem::path bin = testing::FakePrograms::binFolder(folder);
  testing::ManualClock clock;
  const std::string helper = "/usr/libexec/meterwright-wake-helper";
  SleepSchedule schedule{clock, {EnvironmentBlock({"PATH=" + bin.string()}), helper}};
};

TEST_F(SleepScheduleTest, OnlyAWholeTimeOfDayReachesTheHelper) {
  for (const char* bad : {"8:00:00", "24:00:00", "08:00", "12:60:00", "08:00:60", " 08:00:00",
                          "08:00:00\n", "08:00:00;reboot", ""}) {
    EXPECT_EQ(schedule.install(bad),
              (Failure{Failure::Kind::failed, std::string(bad) + " is not a time of day"}));
  }
  EXPECT_TRUE(runs("pkexec").empty());

  for (const char* good : {"23:59:59", "00:00:00", "08:00:00"})
    EXPECT_EQ(schedule.install(good), std::nullopt) << good;
  EXPECT_EQ(runs("pkexec"),
            (std::vector<std::vector<std::string>>{{helper, "install", "23:59:59"},
                                                   {helper, "install", "00:00:00"},
                                                   {helper, "install", "08:00:00"}}));
}

TEST_F(SleepScheduleTest, PkexecOutcomesBecomeFailuresByKind) {
  struct Case {
    int status;
    std::string say;
    std::optional<Failure> expected;
  };
  const Case cases[] = {
      {0, "", std::nullopt},
      {126, "", Failure{Failure::Kind::cancelled, ""}},
      {127, "", Failure{Failure::Kind::failed, "not authorised to change the wake schedule"}},
      {1, "systemctl enable --now meterwright-wake.timer failed (status 1)\n",
       Failure{Failure::Kind::failed,
               "systemctl enable --now meterwright-wake.timer failed (status 1)"}},
      {3, "", Failure{Failure::Kind::failed, "the wake helper failed (3)"}},
  };
  for (const auto& test : cases) {
    answer("pkexec", test.say, test.status);
    EXPECT_EQ(schedule.remove(), test.expected) << test.status;
  }
  EXPECT_EQ(runs("pkexec").back(), (std::vector<std::string>{helper, "remove"}));

  std::filesystem::remove(bin / "pkexec");
  EXPECT_EQ(schedule.install("08:00:00"),
            (Failure{Failure::Kind::failed, "pkexec is not installed"}));
}

TEST_F(SleepScheduleTest, TheNextWakeIsReadAtMostEveryTenSecondsAndAfreshAfterAChange) {
  answer("systemctl", "Thu 2026-12-10 08:00:00 UTC\n");
  EXPECT_EQ(schedule.scheduledWake(), "Thu 2026-12-10 08:00:00 UTC");
  EXPECT_EQ(
      runs("systemctl"),
      (std::vector<std::vector<std::string>>{
          {"show", "meterwright-wake.timer", "--property=NextElapseUSecRealtime", "--value"}}));
  answer("systemctl", "n/a\n");
  clock.advance(9.9);
  EXPECT_EQ(schedule.scheduledWake(), "Thu 2026-12-10 08:00:00 UTC");
  clock.advance(0.1);
  EXPECT_EQ(schedule.scheduledWake(), std::nullopt);
  EXPECT_EQ(runs("systemctl").size(), 2u);

  answer("systemctl", "Fri 2026-12-11 07:30:00 UTC\n");
  ASSERT_EQ(schedule.install("07:30:00"), std::nullopt);
  EXPECT_EQ(schedule.scheduledWake(), "Fri 2026-12-11 07:30:00 UTC");
  answer("pkexec", "", 126);
  answer("systemctl", "\n");
  EXPECT_EQ(schedule.remove(), (Failure{Failure::Kind::cancelled, ""}));
  EXPECT_EQ(schedule.scheduledWake(), std::nullopt);
  // Masked sleep targets mean no suspend.
  answer("systemctl", "masked\nmasked\n", 1);
  EXPECT_TRUE(schedule.sleepMasked());
  answer("systemctl", "static\nstatic\n", 0);
  EXPECT_FALSE(schedule.sleepMasked());
}

class WakeHelperTest : public SleepScheduleTest {
 protected:
  int run(const std::vector<std::string>& arguments) {
    output.str("");
    std::filesystem::create_directories(units);
    return WakeHelper::run(
        arguments, {units, (bin / "systemctl").string(), EnvironmentBlock({"PATH=/nowhere"})},
        output);
  }
  std::filesystem::path units = folder.path() / "etc-systemd-system";
  std::ostringstream output;
};

TEST_F(WakeHelperTest, InstallWritesTheUnitsAndStartsTheTimerAndRemoveUndoesIt) {
  ASSERT_EQ(run({"install", "06:45:00"}), 0) << output.str();
  EXPECT_EQ(readFile(units / "meterwright-wake.timer"),
            "[Unit]\n"
            "Description=Wake the computer daily so Meterwright can publish a reading\n"
            "\n"
            "[Timer]\n"
            "OnCalendar=*-*-* 06:45:00\n"
            "WakeSystem=true\n"
            "Unit=meterwright-wake.service\n"
            "\n"
            "[Install]\n"
            "WantedBy=timers.target\n");
  EXPECT_EQ(readFile(units / "meterwright-wake.service"), WakeUnits::service());

  ASSERT_EQ(run({"remove"}), 0) << output.str();
  EXPECT_FALSE(std::filesystem::exists(units / "meterwright-wake.timer"));
  EXPECT_FALSE(std::filesystem::exists(units / "meterwright-wake.service"));
  EXPECT_EQ(runs("systemctl"),
            (std::vector<std::vector<std::string>>{{"daemon-reload"},
                                                   {"enable", "--now", "meterwright-wake.timer"},
                                                   {"restart", "meterwright-wake.timer"},
                                                   {"disable", "--now", "meterwright-wake.timer"},
                                                   {"daemon-reload"}}));
}

TEST_F(WakeHelperTest, RefusesWhatItWasNotBuiltForAndReportsASystemctlFailureInOneLine) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"install", "25:00:00"}, {"install", "08:00:00", "extra"}, {"enable"}, {}}) {
    EXPECT_EQ(run(arguments), 2);
  }
  EXPECT_TRUE(std::filesystem::is_empty(units));
  EXPECT_FALSE(std::filesystem::exists(bin / "systemctl.args"));
  answer("systemctl", "", 1);
  EXPECT_EQ(run({"install", "08:00:00"}), 1);
  EXPECT_EQ(output.str(), "systemctl daemon-reload failed (status 1)\n");
}

}  // namespace
}  // namespace meterwright
