#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TemporaryFolder.h"

// Every test process runs with HOME and the XDG folders inside a temporary folder of its own, so
// nothing a test does (or forgets to redirect) can touch the real home folder; and with a fixed
// language, so texts compare against their English defaults.
int main(int argc, char** argv) {
  meterwright::testing::TemporaryFolder folder;
  const std::filesystem::path& home = folder.path();
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
  setenv("XDG_STATE_HOME", (home / ".local/state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  unsetenv("LANGUAGE");
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LC_TIME");
  setenv("LANG", "en_US.UTF-8", 1);
  setenv("TZ", "UTC", 1);

  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
