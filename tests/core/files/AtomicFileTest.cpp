#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ios>
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

TEST_F(AtomicFileTest, ANewFileGetsTheModeAskedForLessTheUmask) {
  std::string bytes = bytesOfEveryValue(200'000, 7);
  ASSERT_TRUE(AtomicFile::write(target, bytes, {.mode = 0644, .exactMode = false, .stopAt = {}}));
  EXPECT_TRUE(readFile(target) == bytes);
  EXPECT_EQ(unsigned(fs::status(target).permissions()), 0600u);
  ::umask(022);
  fs::path open = temp.path() / "open.json";
  ASSERT_TRUE(AtomicFile::write(open, bytes, {.mode = 0644, .exactMode = false, .stopAt = {}}));
  EXPECT_EQ(unsigned(fs::status(open).permissions()), 0644u);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 2);
}

TEST_F(AtomicFileTest, AReplacedFileKeepsItsModeUnlessAnExactOneIsAsked) {
  ::umask(022);
  for (unsigned mode : {0600u, 0640u, 0604u, 0664u, 0400u}) {
    writeFile(target, "old contents");
    ::chmod(target.c_str(), (mode | S_ISUID) & 07777);
    ASSERT_TRUE(AtomicFile::write(target, "new", {.mode = 0644, .exactMode = false, .stopAt = {}}));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(unsigned(fs::status(target).permissions()), mode) << std::oct << mode;
  }
  ::chmod(target.c_str(), 0666);
  ASSERT_TRUE(AtomicFile::write(target, "secret", {.mode = 0600, .exactMode = true, .stopAt = {}}));
  EXPECT_EQ(unsigned(fs::status(target).permissions()), 0600u);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 1);
}

// Owners can only be given away by root.
TEST_F(AtomicFileTest, AReplacedFileKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
  writeFile(target, "old contents");
  ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
  ASSERT_TRUE(AtomicFile::write(target, "new"));
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);
}

TEST_F(AtomicFileTest, WritesThroughTheUsersOwnLinksButNeverAnotherUsers) {
  fs::path kept = temp.path() / "kept.json";
  writeFile(kept, "theirs");
  fs::create_symlink(kept, target);
  ASSERT_TRUE(AtomicFile::write(target, "mine"));
  EXPECT_TRUE(fs::is_symlink(target));
  EXPECT_EQ(readFile(kept), "mine");

  if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant another user's link";
  ASSERT_EQ(::lchown(target.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(AtomicFile::write(target, "planted"));
  EXPECT_EQ(readFile(kept), "mine");
  EXPECT_TRUE(fs::is_symlink(target));
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
  ASSERT_TRUE(
      AtomicFile::write(target, newBytes, {.mode = 0600, .exactMode = false, .stopAt = record}));
  ASSERT_EQ(steps.back(), Step::renamed);
  ASSERT_GT(std::count(steps.begin(), steps.end(), Step::wroteChunk), 1);
  for (std::size_t stopAfter = 0; stopAfter < steps.size(); ++stopAfter) {
    SCOPED_TRACE("stopped at step " + std::to_string(stopAfter));
    writeFile(target, oldBytes);
    auto stop = [&, seen = 0u](Step) mutable { return seen++ == stopAfter; };
    EXPECT_FALSE(
        AtomicFile::write(target, newBytes, {.mode = 0600, .exactMode = false, .stopAt = stop}));
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
