#include "tree_state.h"

#include <dirent.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "test_support.h"

namespace kesp_test {

namespace {

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string runForked(const std::function<std::string()>& body, bool privateMounts) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child < 0) return "fork failed";
  if (child == 0) {
    close(fds[0]);
    std::string report;
    if (privateMounts && (unshare(CLONE_NEWNS) != 0 ||
                          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)) {
      report = "no private mount namespace";
    } else {
      try {
        report = body();
      } catch (const std::exception& error) {
        report = std::string("exception: ") + error.what();
      }
    }
    _exit(writeAll(fds[1], report) ? 0 : 1);
  }
  close(fds[1]);
  std::string report;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    report.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child ended abnormally: " + report;
  return report;
}

}  // namespace

bool sameFile(const FileState& a, const FileState& b) {
  return a.content == b.content && a.mode == b.mode && a.uid == b.uid && a.gid == b.gid;
}

TreeState treeState(const std::string& dir) {
  TreeState tree;
  forEachFileBelow(dir, [&tree](const std::string& relative, const std::string& full,
                                const struct stat& info) {
    FileState state;
    state.inode = info.st_ino;
    state.mode = info.st_mode;
    state.uid = info.st_uid;
    state.gid = info.st_gid;
    state.content = entryContent(full, info);
    tree[relative] = state;
  });
  return tree;
}

const FileState* findFile(const TreeState& tree, const std::string& path) {
  auto found = tree.find(path);
  return found == tree.end() ? nullptr : &found->second;
}

std::string treeDifference(const TreeState& before, const TreeState& after) {
  for (const auto& entry : before) {
    auto found = after.find(entry.first);
    if (found == after.end()) return entry.first + " was removed";
    if (found->second.content != entry.second.content) return entry.first + " changed content";
    if (!sameFile(found->second, entry.second)) return entry.first + " changed mode or owner";
    if (found->second.inode != entry.second.inode) return entry.first + " was replaced";
  }
  for (const auto& entry : after) {
    if (!before.count(entry.first)) return entry.first + " was created";
  }
  return std::string();
}

std::string inChild(const std::function<std::string()>& body) { return runForked(body, false); }

std::string inPrivateMounts(const std::function<std::string()>& body) {
  return runForked(body, true);
}

}  // namespace kesp_test
