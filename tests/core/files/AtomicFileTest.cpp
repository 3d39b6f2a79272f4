#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "core/files/AtomicFile.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;
using Step = AtomicFile::Step;

std::string bytesOfEveryValue(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) & 0xFF);
  return bytes;
}

// Under a umask that keeps everything private, which the modes asked for must respect.
class AtomicFileTest : public ::testing::Test {
 protected:
  ~AtomicFileTest() override { ::umask(previousMask); }

  mode_t previousMask = ::umask(077);
  testing::TemporaryFolder temp;
  fs::path target = temp.path() / "state.json";
};
using FileReadingTest = AtomicFileTest;

TEST_F(AtomicFileTest, ReplacesTheFileWithTheBytesAndModeAskedForLessTheUmask) {
  writeFile(target, "old contents");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  std::string bytes = bytesOfEveryValue(200'000, 7);
  ASSERT_TRUE(AtomicFile::write(target, bytes, {.mode = 0644, .stopAt = {}}));
  EXPECT_TRUE(readFile(target) == bytes);
  EXPECT_EQ(unsigned(fs::status(target).permissions()), 0600u);
  ::umask(022);
  ASSERT_TRUE(AtomicFile::write(target, bytes, {.mode = 0644, .stopAt = {}}));
  EXPECT_EQ(unsigned(fs::status(target).permissions()), 0644u);
  ASSERT_TRUE(AtomicFile::write(target, bytes, {.mode = 0600, .stopAt = {}}));
  EXPECT_EQ(unsigned(fs::status(target).permissions()), 0600u);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 1);
}

TEST_F(AtomicFileTest, FailsWithoutLeavingAnythingWhereNoFileCanBe) {
  EXPECT_FALSE(AtomicFile::write(temp.path() / "missing" / "state.json", "bytes"));
  fs::create_directory(target);
  EXPECT_FALSE(AtomicFile::write(target, "bytes"));
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 1);
}

TEST_F(AtomicFileTest, AWriteStoppedAtAnyStepLeavesTheOldOrTheNewBytesNeverAMix) {
  const std::string oldBytes = bytesOfEveryValue(300'000, 1),
                    newBytes = bytesOfEveryValue(1024 * 1024, 2);
  // A full write first, to learn every point at which a killed process could stop.
  writeFile(target, oldBytes);
  std::vector<Step> steps;
  auto record = [&](Step step) { return steps.push_back(step), false; };
  ASSERT_TRUE(AtomicFile::write(target, newBytes, {.mode = 0600, .stopAt = record}));
  ASSERT_EQ(steps.back(), Step::renamed);
  ASSERT_GT(std::count(steps.begin(), steps.end(), Step::wroteChunk), 1);
  for (std::size_t stopAfter = 0; stopAfter < steps.size(); ++stopAfter) {
    SCOPED_TRACE("stopped at step " + std::to_string(stopAfter));
    writeFile(target, oldBytes);
    auto stop = [&, seen = 0u](Step) mutable { return seen++ == stopAfter; };
    EXPECT_FALSE(AtomicFile::write(target, newBytes, {.mode = 0600, .stopAt = stop}));
    EXPECT_TRUE(readFile(target) == (steps[stopAfter] == Step::renamed ? newBytes : oldBytes));
  }
}

TEST_F(AtomicFileTest, CreateFoldersGivesOnlyTheFoldersItMakesTheMode) {
  fs::path outer = temp.path() / "outer";
  ASSERT_TRUE(AtomicFile::createFolders(outer / "inner", 0755));
  EXPECT_EQ(unsigned(fs::status(outer).permissions()), 0700u);
  EXPECT_EQ(unsigned(fs::status(outer / "inner").permissions()), 0700u);
  ::umask(022);
  ASSERT_TRUE(AtomicFile::createFolders(temp.path() / "open", 0755));
  EXPECT_EQ(unsigned(fs::status(temp.path() / "open").permissions()), 0755u);
  fs::permissions(outer, fs::perms::owner_all | fs::perms::group_read);
  EXPECT_TRUE(AtomicFile::createFolders(outer, 0755));
  EXPECT_EQ(unsigned(fs::status(outer).permissions()), 0740u);
}

TEST_F(FileReadingTest, ReadsUpToTheLimitAndTellsMissingFilesFromFolders) {
  writeFile(target, bytesOfEveryValue(200'000, 5));
  auto whole = FileReading::read(target, 200'000);
  EXPECT_EQ(whole.outcome, FileReading::Outcome::read);
  EXPECT_TRUE(whole.bytes == readFile(target));
  auto over = FileReading::read(target, 199'999);
  EXPECT_EQ(over.outcome, FileReading::Outcome::tooLarge);
  EXPECT_EQ(over.bytes, "");
  EXPECT_EQ(FileReading::read(temp.path() / "no" / "file").outcome, FileReading::Outcome::missing);
  EXPECT_EQ(FileReading::read(temp.path()).outcome, FileReading::Outcome::unreadable);
}

}  // namespace
}  // namespace meterwright
