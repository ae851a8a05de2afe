#pragma once
// The families that keep one file per interface read a whole directory at
// every command, and on a directory of small files the system calls per file
// are most of the cost: opening, the status, reading, closing each cost more
// than taking the file apart. This reader spends only what a file needs.

#include <sys/stat.h>

#include <string>

#include "files/file_write.h"

namespace KESP {
namespace detail {

/// Reads files by name from one open directory, as readFileInDirectory does,
/// with fewer calls: a file the listing calls regular is not asked for its
/// status, and a first read shorter than the smallest page is its whole
/// content (the kernel copies a cached page whole or fails before any of it,
/// so only the end of the file stops a read that short); its status is asked
/// of the same open file only when the caller wants it (status()). The
/// descriptors are closed together, each run of consecutive numbers by one
/// call.
class DirectoryReader {
 public:
  /// directoryPath: the directory's path with the root, for messages and for
  /// the files that must be read through their whole path. A file of more
  /// than `largest` bytes is not read (NotRead, errno EFBIG, named as
  /// unreadable).
  DirectoryReader(int directory, const std::string& directoryPath, size_t largest);
  ~DirectoryReader();
  DirectoryReader(const DirectoryReader&) = delete;
  DirectoryReader& operator=(const DirectoryReader&) = delete;

  /// Reads the entry name, whose d_type the listing gave as type, into
  /// content: what readFileInDirectory would answer.
  ReadResult read(const std::string& name, unsigned char type, std::string& content);

  /// Descriptors kept open for closing together, at most: a directory of a
  /// thousand files must not take a thousand descriptors at once.
  static constexpr int kMostWaiting = 64;

  /// What status() found.
  enum class Status { Same, ReadAgain, Failed };
  /// The status of the file read last, asked once, of the open file. When it
  /// says the file is not `readSize` bytes long (it changed, or a read was
  /// cut short), the file is read again whole into `content`: ReadAgain.
  /// Failed, errno set and the file named as unreadable, when the status
  /// cannot be had, the file is not regular or cannot be read again; Failed
  /// at once after a read that failed.
  Status status(struct stat& info, size_t readSize, std::string& content);

 private:
  /// Reads the open file whole from its start; false with errno set.
  bool readOpen(std::string& content, bool fromStart);
  /// The last file's descriptor joins those waiting to be closed.
  void release();
  void closeWaiting();

  int directory_;
  const std::string path_;
  size_t largest_;
  std::string name_;  ///< of the file read last, for messages
  int fd_ = -1;
  bool known_ = false;
  struct stat status_ = {};
  int waiting_[kMostWaiting];
  int waitingCount_ = 0;
};

}  // namespace detail
}  // namespace KESP
