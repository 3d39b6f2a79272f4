#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/files/AtomicFile.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;
using Step = AtomicFile::Step;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

// Bytes that are not text: every byte value, NULs included.
std::string binary(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) & 0xFF);
  return bytes;
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// Sets the process umask for one test and puts the old one back.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(previous_); }

 private:
  mode_t previous_;
};

class AtomicFileTest : public ::testing::Test {
 protected:
  TemporaryFolder temp;
  fs::path target = temp.path() / "state.json";
};

TEST_F(AtomicFileTest, WritesTheBytesExactly) {
  std::string bytes = binary(200'000, 7);
  ASSERT_TRUE(AtomicFile::write(target, bytes));
  EXPECT_EQ(readFile(target), bytes);
}

TEST_F(AtomicFileTest, WritesAnEmptyFile) {
  writeFile(target, "old");
  ASSERT_TRUE(AtomicFile::write(target, ""));
  EXPECT_TRUE(fs::exists(target));
  EXPECT_EQ(readFile(target), "");
}

TEST_F(AtomicFileTest, GivesTheFileTheModeAskedForWhateverTheUmask) {
  ScopedUmask mask(077);
  ASSERT_TRUE(AtomicFile::write(target, "secret", {.mode = 0600, .stopAt = {}}));
  EXPECT_EQ(modeOf(target), 0600u);
  fs::path shared = temp.path() / "shared.json";
  ASSERT_TRUE(AtomicFile::write(shared, "{}", {.mode = 0644, .stopAt = {}}));
  EXPECT_EQ(modeOf(shared), 0644u);
}

TEST_F(AtomicFileTest, ReplacesAnExistingFileAndItsMode) {
  writeFile(target, "old contents that are longer than the new ones");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  ASSERT_TRUE(AtomicFile::write(target, "new", {.mode = 0600, .stopAt = {}}));
  EXPECT_EQ(readFile(target), "new");
  EXPECT_EQ(modeOf(target), 0600u);
}

TEST_F(AtomicFileTest, LeavesNoTemporaryFileBehind) {
  ASSERT_TRUE(AtomicFile::write(target, "one"));
  ASSERT_TRUE(AtomicFile::write(target, "two"));
  EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"state.json"});
}

TEST_F(AtomicFileTest, FailsWithoutCreatingAnythingWhenTheParentFolderIsMissing) {
  fs::path orphan = temp.path() / "missing" / "state.json";
  EXPECT_FALSE(AtomicFile::write(orphan, "bytes"));
  EXPECT_FALSE(fs::exists(orphan.parent_path()));
}

TEST_F(AtomicFileTest, FailsAndKeepsTheFolderWhenTheTargetIsAFolder) {
  fs::create_directory(target);
  EXPECT_FALSE(AtomicFile::write(target, "bytes"));
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"state.json"});
}

TEST_F(AtomicFileTest, AWriteStoppedAtAnyStepLeavesTheOldOrTheNewBytesNeverAMix) {
  const std::string oldBytes = binary(300'000, 1);
  const std::string newBytes = binary(1024 * 1024, 2);

  // A full write first, to learn every point at which a killed process could stop.
  writeFile(target, oldBytes);
  std::vector<Step> steps;
  ASSERT_TRUE(AtomicFile::write(target, newBytes, {.mode = 0600, .stopAt = [&](Step step) {
                                                     steps.push_back(step);
                                                     return false;
                                                   }}));
  ASSERT_EQ(steps.front(), Step::createdTemporary);
  ASSERT_EQ(steps.back(), Step::renamed);
  ASSERT_GT(std::count(steps.begin(), steps.end(), Step::wroteChunk), 1)
      << "a 1 MiB write should pass through several chunks";

  for (std::size_t stopAfter = 0; stopAfter < steps.size(); ++stopAfter) {
    SCOPED_TRACE("stopped at step " + std::to_string(stopAfter));
    writeFile(target, oldBytes);
    std::size_t seen = 0;
    bool written = AtomicFile::write(
        target, newBytes, {.mode = 0600, .stopAt = [&](Step) { return seen++ == stopAfter; }});
    EXPECT_FALSE(written);
    std::string now = readFile(target);
    if (steps[stopAfter] == Step::renamed) {
      EXPECT_TRUE(now == newBytes) << "size " << now.size();
    } else {
      EXPECT_TRUE(now == oldBytes) << "size " << now.size();
    }
  }
}

TEST_F(AtomicFileTest, CreateFoldersMakesEveryMissingParentWithTheMode) {
  ScopedUmask mask(022);
  fs::path deep = temp.path() / "a" / "b" / "c";
  ASSERT_TRUE(AtomicFile::createFolders(deep, 0700));
  for (const fs::path& folder : {temp.path() / "a", temp.path() / "a" / "b", deep}) {
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_EQ(modeOf(folder), 0700u) << folder;
  }
}

TEST_F(AtomicFileTest, CreateFoldersIgnoresTheUmask) {
  ScopedUmask mask(077);
  fs::path folder = temp.path() / "shared";
  ASSERT_TRUE(AtomicFile::createFolders(folder, 0755));
  EXPECT_EQ(modeOf(folder), 0755u);
}

TEST_F(AtomicFileTest, CreateFoldersLeavesAnExistingFolderAlone) {
  fs::path folder = temp.path() / "existing";
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  writeFile(folder / "keep", "x");
  EXPECT_TRUE(AtomicFile::createFolders(folder, 0700));
  EXPECT_EQ(modeOf(folder), 0750u);
  EXPECT_EQ(readFile(folder / "keep"), "x");
}

TEST_F(AtomicFileTest, CreateFoldersFailsWhereAFileStandsInTheWay) {
  writeFile(temp.path() / "file", "x");
  EXPECT_FALSE(AtomicFile::createFolders(temp.path() / "file", 0700));
  EXPECT_FALSE(AtomicFile::createFolders(temp.path() / "file" / "below", 0700));
}

class FileReadingTest : public ::testing::Test {
 protected:
  TemporaryFolder temp;
  fs::path file = temp.path() / "config.json";
};

TEST_F(FileReadingTest, ReadsTheWholeFile) {
  std::string bytes = binary(300'000, 3);
  writeFile(file, bytes);
  auto result = FileReading::read(file);
  EXPECT_EQ(result.outcome, FileReading::Outcome::read);
  EXPECT_TRUE(result.bytes == bytes);
}

TEST_F(FileReadingTest, ReadsAnEmptyFile) {
  writeFile(file, "");
  auto result = FileReading::read(file);
  EXPECT_EQ(result.outcome, FileReading::Outcome::read);
  EXPECT_EQ(result.bytes, "");
}

TEST_F(FileReadingTest, TellsAMissingFile) {
  EXPECT_EQ(FileReading::read(file).outcome, FileReading::Outcome::missing);
  EXPECT_EQ(FileReading::read(temp.path() / "no" / "such" / "file").outcome,
            FileReading::Outcome::missing);
}

TEST_F(FileReadingTest, TellsAFileWithoutReadPermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root from reading";
  writeFile(file, "{}");
  fs::permissions(file, fs::perms::none);
  auto result = FileReading::read(file);
  EXPECT_EQ(result.outcome, FileReading::Outcome::unreadable);
  EXPECT_EQ(result.bytes, "");
}

TEST_F(FileReadingTest, TellsAFolderAsUnreadable) {
  fs::create_directory(file);
  EXPECT_EQ(FileReading::read(file).outcome, FileReading::Outcome::unreadable);
}

TEST_F(FileReadingTest, StopsAtTheLimitAndKeepsNoBytes) {
  writeFile(file, std::string(101, 'x'));
  auto result = FileReading::read(file, 100);
  EXPECT_EQ(result.outcome, FileReading::Outcome::tooLarge);
  EXPECT_EQ(result.bytes, "");
}

TEST_F(FileReadingTest, ReadsAFileOfExactlyTheLimit) {
  writeFile(file, std::string(100, 'x'));
  auto result = FileReading::read(file, 100);
  EXPECT_EQ(result.outcome, FileReading::Outcome::read);
  EXPECT_EQ(result.bytes.size(), 100u);
}

TEST_F(FileReadingTest, StopsAtALimitThatFallsInsideALaterBlock) {
  std::string bytes = binary(200'000, 5);
  writeFile(file, bytes);
  EXPECT_EQ(FileReading::read(file, 150'000).outcome, FileReading::Outcome::tooLarge);
  EXPECT_EQ(FileReading::read(file, 200'000).outcome, FileReading::Outcome::read);
}

}  // namespace
}  // namespace meterwright
