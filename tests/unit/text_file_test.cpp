#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/util.h"
#include "test_support.h"

using namespace KESP;
using kesp_test::readFile;
using kesp_test::TempDir;
using kesp_test::writeFile;

namespace {

/// Runs body in a child process inside a private mount namespace; the child's
/// exit code is the result (0 for success), its stderr explains a failure.
int inPrivateMountNamespace(const std::function<int()>& body) {
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      perror("private mount namespace");
      _exit(90);
    }
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

std::vector<std::string> hiddenFiles(const std::string& directory) {
  std::string out = kesp_test::shellOutput("ls -A '" + directory + "' | grep '^\\.' || true");
  std::vector<std::string> names;
  std::string::size_type start = 0, end;
  while ((end = out.find('\n', start)) != std::string::npos) {
    names.push_back(out.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

TEST(TextFileTest, LoadSaveKeepsEverythingAndAddsFinalNewline) {
  TempDir dir;
  std::string content = "# comment\n\n  indented=1\r\nlast line";
  writeFile(dir / "f", content);
  TextFile file;
  ASSERT_TRUE(file.load(dir / "f"));
  EXPECT_EQ(file.filename, dir / "f");
  EXPECT_EQ(file.lines.size(), 4u);
  ASSERT_TRUE(file.save());
  EXPECT_EQ(readFile(dir / "f"), content + "\n");
}

TEST(TextFileTest, VeryLongLineSurvives) {
  TempDir dir;
  std::string longLine(100000, 'x');
  longLine[50000] = '=';
  writeFile(dir / "f", "a\n" + longLine + "\nb\n");
  TextFile file;
  ASSERT_TRUE(file.load(dir / "f"));
  ASSERT_EQ(file.lines.size(), 3u);
  EXPECT_EQ(*std::next(file.lines.begin()), longLine);
  ASSERT_TRUE(file.save());
  EXPECT_EQ(readFile(dir / "f"), "a\n" + longLine + "\nb\n");
}

TEST(TextFileTest, MissingFileLoadsEmptyAndCanBeCreated) {
  TempDir dir;
  TextFile file;
  file.lines.push_back("stale");
  EXPECT_FALSE(file.load(dir / "new"));
  EXPECT_TRUE(file.lines.empty());
  EXPECT_FALSE(file.unreadable());
  file.lines.push_back("x");
  ASSERT_TRUE(file.save());
  EXPECT_EQ(readFile(dir / "new"), "x\n");
  struct stat info;
  ASSERT_EQ(stat((dir / "new").c_str(), &info), 0);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST(TextFileTest, UnreadableFileIsNeverOverwritten) {
  TempDir dir;
  // A directory stands in for a file that exists but cannot be read as one.
  kesp_test::makeDirs(dir / "d");
  KeyValueFile file('=');
  EXPECT_FALSE(file.load(dir / "d"));
  EXPECT_TRUE(file.unreadable());
  file.set("A", "1");
  kesp_test::LogCapture log;
  EXPECT_FALSE(file.save());
  EXPECT_TRUE(log.contains("[ERROR] Failed to write file " + (dir / "d")));
  EXPECT_FALSE(set_keyvalue_file(dir / "d", "A", "1"));
}

TEST(TextFileTest, SymlinkTargetIsReplacedAndLinkStays) {
  TempDir dir;
  kesp_test::makeDirs(dir / "real");
  writeFile(dir / "real/target", "old\n");
  ASSERT_EQ(symlink("real/target", (dir / "link").c_str()), 0);
  TextFile file;
  ASSERT_TRUE(file.load(dir / "link"));
  file.lines.push_back("new");
  ASSERT_TRUE(file.save());
  struct stat info;
  ASSERT_EQ(lstat((dir / "link").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(readFile(dir / "real/target"), "old\nnew\n");
  EXPECT_TRUE(hiddenFiles(dir / "real").empty());
  EXPECT_TRUE(hiddenFiles(dir.path()).empty());
}

TEST(TextFileTest, ModeAndOwnerSurvive) {
  TempDir dir;
  writeFile(dir / "f", "A=1\n", 0600);
  bool root = kesp_test::isRoot();
  if (root) {
    ASSERT_EQ(chown((dir / "f").c_str(), 1234, 4321), 0);
  }
  ASSERT_TRUE(set_keyvalue_file(dir / "f", "A", "2"));
  struct stat info;
  ASSERT_EQ(stat((dir / "f").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 4321u);
  }
  EXPECT_EQ(readFile(dir / "f"), "A=2\n");
}

TEST(TextFileTest, FullFilesystemKeepsOldFile) {
  if (!kesp_test::isRoot()) GTEST_SKIP() << "needs root for a private tmpfs mount";
  TempDir dir;
  int result = inPrivateMountNamespace([&]() {
    if (mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=64k") != 0) return 91;
    std::string path = dir / "f";
    std::string old = "A=1\n# keep me\n";
    writeFile(path, old);
    // Fill the filesystem so that the new content cannot be written.
    kesp_test::shell("dd if=/dev/zero of='" + (dir / "filler") + "' bs=4k 2>/dev/null");
    TextFile file;
    if (!file.load(path)) return 92;
    file.lines.push_back(std::string(32768, 'y'));
    kesp_test::LogCapture log;
    if (file.save()) return 93;
    if (!log.contains("Failed to write file " + path)) return 94;
    if (readFile(path) != old) return 95;
    if (!hiddenFiles(dir.path()).empty()) return 96;
    if (set_keyvalue_file(path, "B", std::string(32768, 'z'))) return 97;
    if (readFile(path) != old) return 98;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

TEST(TextFileTest, ReadOnlyBindMountFailsCleanly) {
  if (!kesp_test::isRoot()) GTEST_SKIP() << "needs root for a read-only bind mount";
  TempDir dir;
  writeFile(dir / "f", "A=1\n");
  int result = inPrivateMountNamespace([&]() {
    if (mount(dir.path().c_str(), dir.path().c_str(), nullptr, MS_BIND, nullptr) != 0) return 91;
    if (mount(nullptr, dir.path().c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
      return 92;
    kesp_test::LogCapture log;
    if (set_keyvalue_file(dir / "f", "A", "2")) return 93;
    if (!log.contains("Failed to write file " + (dir / "f"))) return 94;
    if (readFile(dir / "f") != "A=1\n") return 95;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

TEST(TextFileTest, BindMountedFileIsRewrittenInPlace) {
  if (!kesp_test::isRoot()) GTEST_SKIP() << "needs root for a bind mount";
  TempDir dir;
  writeFile(dir / "source", "A=1\n");
  writeFile(dir / "f", "");
  int result = inPrivateMountNamespace([&]() {
    if (mount((dir / "source").c_str(), (dir / "f").c_str(), nullptr, MS_BIND, nullptr) != 0)
      return 91;
    if (!set_keyvalue_file(dir / "f", "A", "2")) return 92;
    if (readFile(dir / "f") != "A=2\n") return 93;
    if (!hiddenFiles(dir.path()).empty()) return 94;
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readFile(dir / "source"), "A=2\n");
}

TEST(FileWriteTest, MissingDirectoryReportsError) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(detail::replaceFile(dir / "no/such/file", "x", &error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_EQ(detail::errnoSuffix(2), " (Errno 2 : No such file or directory)");
}

}  // namespace
