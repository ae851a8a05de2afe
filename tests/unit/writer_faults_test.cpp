// Every writer of the library, failed at every write, fsync, close and rename
// it makes: the old file must stay byte for byte, with its inode and mode, and
// no temporary file may be left behind.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "file_write.h"
#include "kesp/log.h"
#include "kesp/util.h"
#include "test_support.h"

using namespace KESP;

namespace {

enum class Call { Write, Fsync, Close, Rename };
const char* const kCallNames[] = {"write", "fsync", "close", "rename"};

/// Counts the calls of one kind and fails the one whose number is `failAt`.
struct Injector {
  static Call kind;
  static int failAt;  // 0: never
  static int count;

  static bool fire(Call call) {
    if (call != kind) return false;
    if (++count != failAt) return false;
    errno = ENOSPC;
    return true;
  }
  static ssize_t write(int fd, const void* data, size_t size) {
    return fire(Call::Write) ? -1 : ::write(fd, data, size);
  }
  static int fsync(int fd) { return fire(Call::Fsync) ? -1 : ::fsync(fd); }
  static int close(int fd) {
    // A failed close still releases the descriptor, as the kernel does.
    int result = ::close(fd);
    return fire(Call::Close) ? -1 : result;
  }
  static int rename(const char* from, const char* to) {
    return fire(Call::Rename) ? -1 : ::rename(from, to);
  }
  static void install(Call call, int at) {
    kind = call;
    failAt = at;
    count = 0;
    detail::writerCalls() = detail::WriterCalls{write, fsync, close, rename};
  }
};
Call Injector::kind = Call::Write;
int Injector::failAt = 0;
int Injector::count = 0;

struct Writer {
  const char* name;
  std::string file;  // relative to the test directory
  std::function<bool(const std::string& path)> change;
};

std::vector<Writer> writers() {
  return {
      {"TextFile::save", "interfaces",
       [](const std::string& path) {
         TextFile file;
         file.load(path);
         file.lines.push_back("auto eth9");
         return file.save();
       }},
      {"KeyValueFile section set", "apt.conf",
       [](const std::string& path) {
         KeyValueFile file('=');
         file.load(path);
         file.set("main", "proxy", "http://10.0.0.1:3128/");
         return file.save();
       }},
      {"set_keyvalue_file", "environment",
       [](const std::string& path) { return set_keyvalue_file(path, "http_proxy", "x"); }},
  };
}

struct FileState {
  std::string content;
  ino_t inode;
  mode_t mode;
};

FileState stateOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return {"<missing>", 0, 0};
  return {kesp_test::readFile(path), info.st_ino, info.st_mode};
}

bool onlyFile(const std::string& directory, const std::string& name) {
  return kesp_test::shellOutput("ls -A '" + directory + "'") == name + "\n";
}

TEST(WriterFaultsTest, EveryFailedStepLeavesTheOldFile) {
  int injections = 0, damaged = 0;
  for (const Writer& writer : writers()) {
    for (Call call : {Call::Write, Call::Fsync, Call::Close, Call::Rename}) {
      // Count how often the writer makes this call when nothing fails.
      int calls = 0;
      {
        kesp_test::TempDir dir;
        kesp_test::writeFile(dir / writer.file, "# old\nkey=value\n", 0640);
        Injector::install(call, 0);
        EXPECT_TRUE(writer.change(dir / writer.file)) << writer.name;
        calls = Injector::count;
        detail::resetWriterCalls();
      }
      for (int at = 1; at <= calls; ++at) {
        kesp_test::TempDir dir;
        std::string path = dir / writer.file;
        kesp_test::writeFile(path, "# old\nkey=value\n", 0640);
        FileState before = stateOf(path);
        kesp_test::LogCapture log;
        Injector::install(call, at);
        bool result = writer.change(path);
        detail::resetWriterCalls();
        ++injections;
        FileState after = stateOf(path);
        bool intact = !result && after.content == before.content && after.inode == before.inode &&
                      after.mode == before.mode && onlyFile(dir.path(), writer.file) &&
                      log.contains("Failed to write file " + path);
        if (!intact) ++damaged;
        EXPECT_TRUE(intact) << writer.name << ": " << kCallNames[static_cast<int>(call)]
                            << " #" << at << " failed";
      }
    }
  }
  EXPECT_GT(injections, 0);
  std::printf("%d injections, %d files damaged\n", injections, damaged);
}

}  // namespace
