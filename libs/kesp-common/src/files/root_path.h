#pragma once
// Opening the system's files as if the system root were "/": with a root set,
// an absolute link target is taken inside the root and ".." stops at it, so an
// image from anywhere cannot make us read or change the host's own files.
// Paths outside the root (and every path when no root is set) open as usual.

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <deque>
#include <string>
#include <vector>

#include "files/draft.h"

namespace KESP {
namespace detail {

/// How paths inside the root are resolved: by the kernel (openat2 with
/// RESOLVE_IN_ROOT; used when the kernel has it) or component by component
/// here. Tests choose to exercise both.
enum class RootResolver { Kernel, Own };
void setRootResolver(RootResolver resolver);

/// While held (holds nest) on a thread, the system root's directory is
/// opened once and kept for that thread's lookups inside it: for one command,
/// under which the root is not replaced. A program that runs for days holds
/// none for long.
void holdRootDirectory(bool hold);
RootResolver rootResolver();

/// Opens path with open(2) flags, resolved inside the system root when the
/// path lies under it. -1 with errno set on failure; a link that cannot be
/// resolved inside the root (loop, too many hops) is logged naming the path.
int openInRoot(const std::string& path, int flags, mode_t mode = 0);

/// A file's place after following every link, the last component's too:
/// its directory, open for reading, and its name there (not a link; the file
/// need not exist). Close `directory` when done.
struct ResolvedFile {
  int directory = -1;
  std::string name;
};
/// False with errno set when no such place exists inside the root; an
/// unresolvable link is logged naming the path.
bool resolveFile(const std::string& path, ResolvedFile& resolved);

/// stat(2) of path, resolved like openInRoot; false with errno set.
bool statInRoot(const std::string& path, struct stat& info);

/// unlink(2) of path, its directory resolved like openInRoot (a link itself is
/// removed, not its target). False with errno set.
bool removeInRoot(const std::string& path);

/// rename(2) of two files resolved as resolveFile does: a link named by `to`
/// stays a link and its target is replaced. False with errno set.
bool renameInRoot(const std::string& from, const std::string& to);

/// Where path (system root included) leads inside the root once every link,
/// the last component's too, is followed: an absolute path from the root's
/// "/" (the root itself not included); the file need not exist. Worked out by
/// walking the tree, so it needs no /proc. False with errno set.
/// With missingParents, directories missing on the way are taken as they are
/// named (for creating them).
bool pathInRoot(const std::string& path, std::string& inside, bool missingParents = false);

/// Creates directory and its missing parents (mode 0755, whatever the umask) inside the root;
/// each directory made is added to created, outermost first. False with errno set.
bool makeDirectoriesInRoot(const std::string& directory, std::vector<std::string>* created = nullptr);

/// Removes the directory at path when it is empty; false with errno set.
bool removeEmptyDirectoryInRoot(const std::string& path);

/// fsync(2) of a directory resolved inside the root; false with errno set.
bool syncDirectoryInRoot(const std::string& directory);

/// The names in a directory resolved inside the root ("." and ".." left out).
/// False with errno set when it cannot be listed.
/// `types` (when given) receives each name's d_type (DT_UNKNOWN where the
/// file system does not say), for skipping a stat per entry. While a draft is
/// open the listing is what the draft would leave: its new files added (as
/// regular files), those it removes left out, a directory it would make
/// listed with its files.
bool listDirectoryInRoot(const std::string& directory, std::vector<std::string>& names,
                         std::vector<unsigned char>* types = nullptr);
/// The same listing through a directory already open (O_RDONLY|O_DIRECTORY).
bool listOpenDirectory(int directory, std::vector<std::string>& names,
                       std::vector<unsigned char>* types = nullptr);

/// A directory's names and their d_types, in the order the kernel gave them.
struct DirectoryListing {
  std::vector<std::string> names;
  std::vector<unsigned char> types;
};
/// While a command that changes no file holds them (counted, per thread),
/// each directory's listing is taken once and handed out again: detecting
/// the family and reading its files list the same directories, and each
/// listing makes the kernel sort the whole directory. Dropped when the last
/// hold ends.
void keepListings(bool keep);
bool listingsKept();
/// The listing of the open directory at path (with the root): while
/// listings are kept, the first listing of path; else own, filled. While a
/// draft is open, own, with the draft's files in path over the listing (see
/// listDirectoryInRoot). Null with errno set when it cannot be listed.
const DirectoryListing* listDirectoryOnce(int directory, const std::string& path,
                                          DirectoryListing& own);

/// Reads the next records of an open directory (getdents64) into buffer:
/// the number of bytes, 0 at the end, -1 with errno set.
long readDirectoryRecords(int directory, char* buffer, size_t size);

/// Calls visit(name, type) for each name in an open directory ("." and ".."
/// left out; type is the d_type, DT_UNKNOWN where the file system does not
/// say) until visit returns false: a caller after one name stops there and
/// copies none. False with errno set when it cannot be listed.
template <typename Visit>
bool forEachDirectoryEntry(int directory, Visit visit) {
  // The kernel's records directly: a directory stream would cost three more
  // calls per listing (status, flags), and the families list several
  // directories at every command.
  alignas(8) char buffer[16384];
  for (;;) {
    const long got = readDirectoryRecords(directory, buffer, sizeof buffer);
    if (got <= 0) return got == 0;
    for (long at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      if (!visit(name, entry->d_type)) return true;
    }
  }
}

/// As forEachDirectoryEntry, for the directory at path (with the root): while
/// listings are kept, through the kept listing (taken whole the first time),
/// so that the reads after a detection that stopped early list nothing again.
template <typename Visit>
bool forEachListedEntry(int directory, const std::string& path, Visit visit) {
  // A draft's files are listed over the directory's: only the merged listing has them.
  if (!listingsKept() && !openDraft()) return forEachDirectoryEntry(directory, visit);
  DirectoryListing own;
  const DirectoryListing* listing = listDirectoryOnce(directory, path, own);
  if (!listing) return false;
  for (size_t i = 0; i < listing->names.size(); ++i)
    if (!visit(listing->names[i].c_str(), listing->types[i])) break;
  return true;
}

/// Refuses, with a logged message naming it, a file whose type is not regular
/// (errno EISDIR for a directory, else EINVAL).
bool isRegularOrRefuse(const std::string& path, mode_t type);

/// The part of path below the system root, when a root is set and the path
/// lies under it.
bool belowRoot(const std::string& path, std::string& relative);
/// The names between the slashes of a path; "//" and a trailing "/" add none.
std::deque<std::string> pathComponents(const std::string& path);

}  // namespace detail
}  // namespace KESP
