#pragma once
// The record of an unfinished change, kept under "/var/lib/kesp/" (through the
// system root): everything needed to put its files back as they were and to
// restart the interfaces it touched.

#include <sys/types.h>

#include <string>
#include <vector>

namespace KESP {
namespace detail {

/// One file as it was before the change touched it.
struct JournaledFile {
  std::string path;  ///< absolute, without the system root
  bool existed = false;
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  std::string content;
};

struct Journal {
  std::vector<JournaledFile> files;
  std::vector<std::string> restarts;  ///< interfaces the change takes down and up

  bool empty() const { return files.empty() && restarts.empty(); }
  bool hasFile(const std::string& path) const;
};

/// The journal as bytes, and back; parsing fails on anything truncated or unknown.
std::string formatJournal(const Journal& journal);
bool parseJournal(const std::string& text, Journal& journal);

/// The journal file under the current system root.
std::string journalPath();

/// Writes the journal durably: a temporary file (mode 0600: it may hold a
/// proxy password), fsynced, renamed into place, its directory fsynced.
/// False with errno set.
bool saveJournal(const Journal& journal);
/// Reads the journal; false (errno set) when it exists but cannot be read or
/// parsed. `present` tells whether there was one.
bool loadJournal(Journal& journal, bool& present);
/// Removes the journal and fsyncs its directory; a missing journal is fine.
bool removeJournal();

/// Reads the state of the file at fullPath (system root included, links
/// already followed) into file. False with errno set when it exists but
/// cannot be read.
bool captureFile(const std::string& fullPath, JournaledFile& file);

/// Puts one file back as journaled. `changed` tells whether anything had to
/// be done. False with errno set.
bool restoreJournaledFile(const JournaledFile& file, bool& changed);

/// Removes the hidden temporaries the writer and the journal leave beside
/// their files when killed; returns the paths removed.
std::vector<std::string> removeLeftoverTemporaries(const Journal& journal);

}  // namespace detail
}  // namespace KESP
