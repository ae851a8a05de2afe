// Every writer of the library, failed at every write, fsync, close and rename
// it makes, on a file-size limit (EFBIG), on a full file system (ENOSPC) and
// with bind-mounted targets that only an in-place rewrite can change: every
// file must end whole, either as it was (byte for byte, mode, owner, and inode
// where no replace happened) or as the operation wanted it, no temporary file
// may be left behind, and a failure must be reported.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <stdexcept>

#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "test_support.h"
#include "tree_state.h"
#include "writer_fault_judge.h"
#include "writer_fault_scenarios.h"

using namespace KESP;
using namespace kesp_test;

namespace {

enum Call { WRITE, FSYNC, CLOSE, RENAME };
const int CALL_KINDS = kWriterCallKinds;
const char* const kCallNames[] = {"write", "fsync", "close", "rename"};

/// Counts the calls of every kind and fails the one of kind `kind` whose
/// number is `failAt` (0: none).
struct Injector {
  static int kind;
  static int failAt;
  static int counts[CALL_KINDS];
  static bool failNextWrite;

  static bool fire(Call call) {
    ++counts[call];
    if (call != kind || counts[call] != failAt) return false;
    errno = ENOSPC;
    return true;
  }
  /// A failing write first gets half of its data out, as a disk that fills up
  /// does: the caller sees a short write, and the next write fails.
  static ssize_t write(int fd, const void* data, size_t size) {
    if (failNextWrite) {
      failNextWrite = false;
      errno = ENOSPC;
      return -1;
    }
    if (!fire(WRITE)) return ::write(fd, data, size);
    if (size < 2) return -1;
    failNextWrite = true;
    return ::write(fd, data, size / 2);
  }
  static int fsync(int fd) { return fire(FSYNC) ? -1 : ::fsync(fd); }
  static int close(int fd) {
    // A failed close still releases the descriptor, as the kernel does.
    int result = ::close(fd);
    return fire(CLOSE) ? -1 : result;
  }
  static int rename(int fromDirectory, const char* from, int toDirectory, const char* to) {
    return fire(RENAME) ? -1 : ::renameat(fromDirectory, from, toDirectory, to);
  }
  static void install(int call, int at) {
    kind = call;
    failAt = at;
    failNextWrite = false;
    for (int& count : counts) count = 0;
    detail::writerCalls() = detail::WriterCalls{write, fsync, close, rename};
  }
};
int Injector::kind = WRITE;
int Injector::failAt = 0;
int Injector::counts[CALL_KINDS] = {};
bool Injector::failNextWrite = false;

/// A scenario's system root: its family's fixture, its own files, and (as
/// root) a distinct owner and mode on every file.
class PreparedRoot {
 public:
  explicit PreparedRoot(const WriterScenario& scenario) : root_(scenario.family) {
    scenario.setUp(root_);
    if (isRoot()) {
      const std::string dir = "'" + root_.root().path() + "'";
      shell("chown -R " + std::to_string(kFixtureOwner) + ":" + std::to_string(kFixtureOwner) +
            " " + dir + " && find " + dir + " -type f ! -perm -u+x -exec chmod 0640 {} +");
    }
  }
  const std::string& path() const { return root_.root().path(); }
  TreeState state() const { return treeState(path()); }

 private:
  ChangeRoot root_;
};

Reference referenceOf(const WriterScenario& scenario) {
  Reference reference;
  {
    PreparedRoot root(scenario);
    reference.before = root.state();
    LogCapture quiet;
    Injector::install(WRITE, 0);
    EXPECT_EQ(scenario.run(), scenario.succeeds) << scenario.name << " without any fault";
    for (int kind = 0; kind < CALL_KINDS; ++kind) reference.counts[kind] = Injector::counts[kind];
    detail::resetWriterCalls();
    reference.after = root.state();
  }
  if (scenario.intermediate) {
    PreparedRoot root(scenario);
    LogCapture quiet;
    scenario.intermediate();
    reference.intermediate = root.state();
  }
  return reference;
}

// The judge itself must see every kind of damage, or the counts below mean nothing.
TEST(WriterFaultsTest, JudgeSeesEveryKindOfDamage) {
  WriterScenario scenario;
  scenario.name = "synthetic";
  const FileState old{"A=1\n", 10, 0100640, kFixtureOwner, kFixtureOwner};
  const FileState wanted{"A=2\nB=3\n", 11, 0100640, kFixtureOwner, kFixtureOwner};
  Reference reference;
  reference.before = {{"etc/f", old}};
  reference.after = {{"etc/f", wanted}};
  auto with = [](FileState state, const std::string& content, ino_t inode) {
    state.content = content;
    state.inode = inode;
    return state;
  };
  FileState otherMode = old;
  otherMode.mode = 0100644;
  FileState otherOwner = old;
  otherOwner.uid = 0;
  struct Case {
    const char* what;
    TreeState after;
    bool result;
    const char* log;
    bool damaged;
  };
  const Case cases[] = {
      {"old file kept", {{"etc/f", old}}, false, "[ERROR] x", false},
      {"new file written", {{"etc/f", with(wanted, wanted.content, 12)}}, true, "", false},
      {"half written", {{"etc/f", with(old, "A=2\n", 10)}}, false, "[ERROR] x", true},
      // A failed change rolls back with copies; a successful one has no reason to copy.
      {"replaced by a copy", {{"etc/f", with(old, old.content, 13)}}, true, "", true},
      {"temporary file left",
       {{"etc/f", old}, {"etc/.f.Ab12Cd", with(wanted, wanted.content, 14)}}, false, "[ERROR] x",
       true},
      {"mode lost", {{"etc/f", otherMode}}, false, "[ERROR] x", true},
      {"owner lost", {{"etc/f", otherOwner}}, false, "[ERROR] x", true},
      {"file lost", {}, false, "[ERROR] x", true},
      {"failure reported as success", {{"etc/f", old}}, true, "", true},
      {"failure not logged", {{"etc/f", old}}, false, "", true},
  };
  for (const Case& c : cases) {
    const std::string problem =
        judgeFiles(scenario, reference, reference.before, c.after, c.result, c.log, "/root");
    EXPECT_EQ(!problem.empty(), c.damaged) << c.what << ": " << problem;
  }
}

std::string injectionName(const WriterScenario& scenario, int kind, int at) {
  return scenario.name + ", " + kCallNames[kind] + " #" + std::to_string(at) + " failed";
}

/// Every call of every kind failed in turn, each on a fresh root; `around`
/// runs the operation (and may prepare the root first).
Tally injectEveryCall(const WriterScenario& scenario, const Reference& reference,
                      const std::function<void(const PreparedRoot&)>& prepare = {},
                      const std::function<void(const PreparedRoot&)>& release = {}) {
  Tally tally;
  for (int kind = 0; kind < CALL_KINDS; ++kind) {
    for (int at = 1; at <= reference.counts[kind]; ++at) {
      PreparedRoot root(scenario);
      if (prepare) prepare(root);
      const TreeState before = root.state();
      LogCapture log;
      Injector::install(kind, at);
      const bool result = scenario.run();
      detail::resetWriterCalls();
      const TreeState after = root.state();
      if (release) release(root);
      tally.add(injectionName(scenario, kind, at),
                judgeFiles(scenario, reference, before, after, result, log.text(), root.path()));
    }
  }
  return tally;
}

TEST(WriterFaultsTest, EveryFailedCallLeavesWholeFiles) {
  Tally tally;
  for (const WriterScenario& scenario : writerScenarios()) {
    const Reference reference = referenceOf(scenario);
    int calls = 0;
    for (int count : reference.counts) calls += count;
    EXPECT_GT(calls, 0) << scenario.name << " writes nothing";
    tally.add(injectEveryCall(scenario, reference));
  }
  tally.report();
}

/// The library's log lines of a run in a child whose file size is limited:
/// they go through a pipe, which no file-size limit applies to.
class PipedLog {
 public:
  PipedLog() : oldFile_(g_kesp_log_file_name), oldLevel_(g_kesp_log_level) {
    if (pipe(fds_) != 0) throw std::runtime_error("pipe failed");
    savedStderr_ = dup(STDERR_FILENO);
    dup2(fds_[1], STDERR_FILENO);
    g_kesp_log_file_name = "stderr";
    g_kesp_log_level = LOG_WARN;
  }
  /// Ends the capture and returns what was logged.
  std::string finish() {
    std::fflush(stderr);
    dup2(savedStderr_, STDERR_FILENO);
    close(savedStderr_);
    close(fds_[1]);
    g_kesp_log_file_name = oldFile_;
    g_kesp_log_level = oldLevel_;
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds_[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    close(fds_[0]);
    return text;
  }

 private:
  int fds_[2];
  int savedStderr_;
  std::string oldFile_;
  int oldLevel_;
};

TEST(WriterFaultsTest, FileSizeLimitLeavesWholeFiles) {
  Tally tally;
  for (const WriterScenario& scenario : writerScenarios()) {
    const Reference reference = referenceOf(scenario);
    // One limit just below each new file's size, so that this file fails.
    std::set<size_t> limits;
    for (const auto& entry : reference.after) {
      const FileState* old = findFile(reference.before, entry.first);
      if (!entry.second.content.empty() && (!old || old->content != entry.second.content))
        limits.insert(entry.second.content.size() - 1);
    }
    for (size_t limit : limits) {
      Tally child = Tally::decode(inChild([&] {
        PreparedRoot root(scenario);
        const TreeState before = root.state();
        PipedLog log;
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit lowered = old;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
        const bool result = scenario.run();
        setrlimit(RLIMIT_FSIZE, &old);
        const std::string text = log.finish();
        Tally one;
        one.add(scenario.name + ", files limited to " + std::to_string(limit) + " bytes",
                judgeFiles(scenario, reference, before, root.state(), result, text, root.path()));
        return one.encode();
      }));
      tally.add(child);
    }
  }
  tally.report();
}

TEST(WriterFaultsTest, FullFileSystemLeavesWholeFiles) {
  if (!isRoot()) GTEST_SKIP() << "needs root for a tmpfs mount";
  Tally tally;
  for (const WriterScenario& scenario : writerScenarios()) {
    const Reference reference = referenceOf(scenario);
    tally.add(Tally::decode(inPrivateMounts([&] {
      PreparedRoot onDisk(scenario);
      TempDir full;
      if (mount("tmpfs", full.path().c_str(), "tmpfs", 0, "size=512k") != 0)
        return std::string("0 1\ntmpfs mount failed\n");
      shell("cp -a '" + onDisk.path() + "/.' '" + full.path() + "'");
      shell("dd if=/dev/zero of='" + (full / "filler") + "' bs=4k 2>/dev/null");
      setSystemRoot(full.path());
      const TreeState before = treeState(full.path());
      LogCapture log;
      const bool result = scenario.run();
      Tally one;
      one.add(scenario.name + " on a full file system",
              judgeFiles(scenario, reference, before, treeState(full.path()), result, log.text(),
                    full.path()));
      setSystemRoot(onDisk.path());
      umount2(full.path().c_str(), MNT_DETACH);
      return one.encode();
    })));
  }
  tally.report();
}

/// Every regular file of the root bind-mounted onto itself: rename over it
/// fails with EBUSY and only the in-place rewrite remains.
std::vector<std::string> bindEveryFile(const PreparedRoot& root) {
  std::vector<std::string> mounted;
  for (const auto& entry : root.state()) {
    if (!S_ISREG(entry.second.mode)) continue;
    const std::string path = root.path() + "/" + entry.first;
    if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0) mounted.push_back(path);
  }
  return mounted;
}

void unbindAll(const PreparedRoot& root) {
  for (const auto& entry : root.state()) umount2((root.path() + "/" + entry.first).c_str(), MNT_DETACH);
}

TEST(WriterFaultsTest, BindMountedTargetsAreRewrittenInPlaceOrWrittenBack) {
  if (!isRoot()) GTEST_SKIP() << "needs root for bind mounts";
  Tally tally;
  for (const WriterScenario& scenario : writerScenarios()) {
    Reference reference = referenceOf(scenario);
    tally.add(Tally::decode(inPrivateMounts([&] {
      // The calls made through the in-place fallback, counted without faults.
      {
        PreparedRoot root(scenario);
        if (bindEveryFile(root).empty()) return std::string("0 1\nno bind mount possible\n");
        LogCapture quiet;
        Injector::install(WRITE, 0);
        const bool result = scenario.run();
        for (int kind = 0; kind < CALL_KINDS; ++kind) reference.counts[kind] = Injector::counts[kind];
        detail::resetWriterCalls();
        const TreeState after = root.state();
        unbindAll(root);
        for (const auto& entry : reference.after) {
          const FileState* old = findFile(reference.before, entry.first);
          if (old && sameFile(*old, entry.second)) continue;  // not the operation's
          const FileState* now = findFile(after, entry.first);
          if (result != scenario.succeeds || !now || !sameFile(*now, entry.second))
            return "1 1\n" + scenario.name + ": in-place rewrite of " + entry.first +
                   " differs from the replace\n";
        }
      }
      return injectEveryCall(
                 scenario, reference, [](const PreparedRoot& root) { bindEveryFile(root); },
                 unbindAll)
          .encode();
    })));
  }
  tally.report();
}

}  // namespace
