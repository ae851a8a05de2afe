#pragma once
// Helpers shared by the unit and system tests: temporary directories, system
// roots, captured log lines and small file utilities.

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

namespace kesp_test {

/// A fresh directory under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  /// path() + "/" + relative
  std::string operator/(const std::string& relative) const;

 private:
  std::string path_;
};

/// Points the library's system root at a temporary directory for the guard's
/// lifetime; fixture trees can be copied into it.
class SystemRoot {
 public:
  SystemRoot();
  ~SystemRoot();
  const std::string& path() const { return dir_.path(); }
  /// Absolute path under the root of an absolute system path.
  std::string operator/(const std::string& absolutePath) const;
  /// Copies tests/fixtures/<fixture> (a directory tree) into the root, its
  /// connection profiles private (see fixtureCopyCommand).
  void copyFixture(const std::string& fixture) const;
  /// Writes a file under the root, creating parent directories.
  void write(const std::string& absolutePath, const std::string& content,
             unsigned mode = 0644) const;
  std::string read(const std::string& absolutePath) const;

 private:
  TempDir dir_;
};

/// Sends the library's log to a temporary file at the given threshold and
/// restores the previous destination and threshold afterwards.
class LogCapture {
 public:
  explicit LogCapture(int level = 0);
  ~LogCapture();
  /// The lines written so far, without their timestamps ("[LEVEL] message").
  std::vector<std::string> lines() const;
  /// True when some line contains the text.
  bool contains(const std::string& text) const;
  /// All of it, raw.
  std::string text() const;

 private:
  TempDir dir_;
  std::string file_;
  std::string oldFile_;
  int oldLevel_;
};

std::string fixturePath(const std::string& relative);
/// Writes content to path, creating parent directories; throws on failure.
void writeFile(const std::string& path, const std::string& content, unsigned mode = 0644);
/// Reads the whole file; throws when it cannot be read.
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
/// Calls visit(relative, full, lstat) for every entry below dir that is not a
/// directory (directories are descended). False when dir cannot be listed.
bool forEachFileBelow(const std::string& dir,
                      const std::function<void(const std::string& relative, const std::string& full,
                                               const struct stat& info)>& visit);
/// A file's content, or "-> target" for a symbolic link.
std::string entryContent(const std::string& path, const struct stat& info);
void makeDirs(const std::string& path);
bool isRoot();
/// The shell command that copies the tree source into target. Git keeps no
/// mode but 0644 and 0755, and the daemon ignores connection profiles others
/// may read, so the copied profiles are made the owner's only.
std::string fixtureCopyCommand(const std::string& source, const std::string& target);
/// Runs a shell command line (test scaffolding only); returns its exit code.
int shell(const std::string& command);
/// Runs a shell command and returns its standard output.
std::string shellOutput(const std::string& command);

}  // namespace kesp_test
