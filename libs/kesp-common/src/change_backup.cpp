#include "change_backup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_write.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "root_path.h"

namespace KESP {
namespace detail {

namespace {

bool hasDirectoryEntry(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

bool restoreOne(const FileBackup& backup, const char* operation) {
  if (backup.state == FileBackup::ABSENT) {
    if (removeInRoot(backup.path) || errno == ENOENT) return true;
    const int err = errno;
    KESP_LOG(LOG_ERROR, operation, "can't remove " << backup.path << errnoSuffix(err));
    return false;
  }
  if (replaceFile(backup.path, backup.content)) return true;
  const int err = errno;
  KESP_LOG(LOG_ERROR, operation,
           "can't open " << backup.path << " for writing" << errnoSuffix(err));
  return false;
}

}  // namespace

bool backUpFiles(const std::vector<std::string>& paths, std::vector<FileBackup>& backups,
                 const char* operation) {
  backups.clear();
  for (size_t i = 0; i < paths.size(); ++i) {
    FileBackup backup;
    backup.path = sysPath(paths[i]);
    const ReadResult outcome = readFile(backup.path, backup.content);
    if (outcome == ReadResult::NotRead) {
      const int err = errno;
      KESP_LOG(LOG_ERROR, operation, "can't create temp file" << errnoSuffix(err));
      backups.clear();
      return false;
    }
    if (outcome == ReadResult::NotOpened) {
      const int openError = errno;
      if (i == 0) {
        KESP_LOG(LOG_ERROR, operation,
                 "can't open " << backup.path << " for reading" << errnoSuffix(openError));
        backups.clear();
        return false;
      }
      // A file that exists but cannot be read is neither copied nor, later,
      // overwritten: the rewrite refuses to save over it.
      if (hasDirectoryEntry(backup.path)) continue;
      backup.state = FileBackup::ABSENT;
    }
    backups.push_back(std::move(backup));
  }
  return true;
}

bool restoreFiles(const std::vector<FileBackup>& backups, const char* operation) {
  bool allRestored = true;
  for (const FileBackup& backup : backups) {
    if (!restoreOne(backup, operation)) allRestored = false;
  }
  return allRestored;
}

}  // namespace detail
}  // namespace KESP
