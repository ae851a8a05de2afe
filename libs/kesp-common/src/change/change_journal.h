#pragma once
// The record of an unfinished change, kept under "/var/lib/kesp/" (through the
// system root): everything needed to put its files back as they were and to
// restart the interfaces it touched.

#include <sys/types.h>

#include <string>
#include <vector>

#include "files/file_write.h"

namespace KESP {
namespace detail {

/// One file as it was before the change touched it.
struct JournaledFile {
  std::string path;  ///< absolute, without the system root
  bool existed = false;
  bool isLink = false;     ///< a symbolic link, kept as one
  std::string linkTarget;  ///< what the link said
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  std::string content;
};

struct Journal {
  std::vector<JournaledFile> files;
  std::vector<std::string> restarts;  ///< interfaces the change takes down and up
  /// Directories the change made (absolute, without the system root),
  /// outermost first; put back means removed again where empty.
  std::vector<std::string> directories;
  /// Directories made for the journal itself (absolute, without the system
  /// root), outermost first: removed with it where empty, by whichever
  /// process removes it.
  std::vector<std::string> journalDirectories;

  bool empty() const { return files.empty() && restarts.empty() && directories.empty(); }
  bool hasFile(const std::string& path) const;
};

/// The journal as bytes, and back. Parsing fails, saying why in `why`, on
/// anything truncated or unknown, a size beyond the text, a path that is not
/// plain and absolute (".", "..", "//"), a mode beyond 07777 or an interface
/// name that could not be one: a journal is data from disk like any other.
std::string formatJournal(const Journal& journal);
bool parseJournal(const std::string& text, Journal& journal, std::string* why = nullptr);

/// The most a journal may hold; a bigger one is refused unread.
const size_t kMaxJournalBytes = kMaxReadBytes;

/// The journal file under the current system root.
std::string journalPath();

/// Writes the journal durably: a temporary file (mode 0600: it may hold a
/// proxy password), fsynced, renamed into place, its directory fsynced.
/// False with errno set.
bool saveJournal(const Journal& journal);
/// Reads the journal, at most kMaxJournalBytes of it; false (errno set, and
/// `why` told for one that is refused) when it exists but cannot be read or
/// is not a sound journal. `present` tells whether there was one.
bool loadJournal(Journal& journal, bool& present, std::string* why = nullptr);
/// Removes the journal and fsyncs its directory; a missing journal is fine.
bool removeJournal();
/// Moves the journal aside, beside it under a name that tells when
/// ("change.journal.discarded-YYYYmmddTHHMMSS"), kept for inspection; the
/// path it got goes to keptAs. False with errno set (ENOENT: none there).
bool discardJournal(std::string& keptAs);

/// Reads the state of the file at fullPath (system root included) into file,
/// under its path inside the root: with linkItself a link at fullPath is
/// recorded as a link, else every link is followed (inside the root) to the
/// file it leads to. False with errno set when it exists but cannot be read.
bool captureFile(const std::string& fullPath, JournaledFile& file, bool linkItself = false);

/// Puts one file back as journaled. `changed` tells whether anything had to
/// be done. False with errno set.
bool restoreJournaledFile(const JournaledFile& file, bool& changed);

/// Removes the hidden temporaries the writer and the journal leave beside
/// their files when killed; returns the paths removed.
std::vector<std::string> removeLeftoverTemporaries(const Journal& journal);

}  // namespace detail
}  // namespace KESP
