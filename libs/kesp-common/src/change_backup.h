#pragma once
// Exact in-memory copies of the files a network change rewrites, and putting
// them back through the atomic writer.

#include <string>
#include <vector>

namespace KESP {
namespace detail {

/// One file as it was before the change.
struct FileBackup {
  enum State {
    COPIED,  ///< content holds the whole file
    ABSENT,  ///< there was no such file: one created since is removed again
  };
  std::string path;  ///< as opened, system root included
  State state = COPIED;
  std::string content;
};

/// Copies the files (system paths, root not yet applied) into backups. The
/// first must open: otherwise "can't open <path> for reading (Errno …)". A
/// further file that has no directory entry is remembered as ABSENT; one that
/// exists but does not open is left alone. A file that opens but cannot be
/// read whole fails with "can't create temp file (Errno …)". False (logged
/// at ERROR under operation, backups cleared) on failure.
bool backUpFiles(const std::vector<std::string>& paths, std::vector<FileBackup>& backups,
                 const char* operation);

/// Puts every backup back, in order, each file replaced atomically (ABSENT
/// ones removed). Goes on after a failure so that as much as possible of the
/// old configuration returns; each failure logs "can't open <path> for
/// writing (Errno …)" at ERROR. True when every file was restored.
bool restoreFiles(const std::vector<FileBackup>& backups, const char* operation);

}  // namespace detail
}  // namespace KESP
