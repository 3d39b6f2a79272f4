#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// Every test process runs with HOME and the XDG folders inside a temporary folder of its own, so
// nothing a test does (or forgets to redirect) can touch the real home folder; and with a fixed
// language, so texts compare against their English defaults.
int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "meterwright-home-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) return 2;
  fs::path home = name.data();
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
  int status = RUN_ALL_TESTS();
  std::error_code error;
  fs::remove_all(home, error);
  return status;
}
