#pragma once
// Every file below a directory with its content, inode, mode and owner, so
// that a test can prove an operation wrote nothing, or only whole files.

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>

namespace kesp_test {

struct FileState {
  std::string content;  ///< a symbolic link as "-> <target>"
  ino_t inode = 0;
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
};

/// Content, mode and owner equal; the inode is not looked at.
bool sameFile(const FileState& a, const FileState& b);

/// Path relative to the directory to state, for every file and link below it.
using TreeState = std::map<std::string, FileState>;
TreeState treeState(const std::string& dir);
/// The file's state, or null when the tree has no such file.
const FileState* findFile(const TreeState& tree, const std::string& path);

/// Empty when both trees hold the same files, inodes included; otherwise the
/// first difference in words.
std::string treeDifference(const TreeState& before, const TreeState& after);

/// Runs body in a forked child and returns what it returned; a child that did
/// not end normally gives "child ended abnormally". For tests that change
/// process-wide state (limits, mount namespaces) that must not outlive them.
std::string inChild(const std::function<std::string()>& body);

/// inChild, with the child in a private mount namespace first.
std::string inPrivateMounts(const std::function<std::string()>& body);

}  // namespace kesp_test
