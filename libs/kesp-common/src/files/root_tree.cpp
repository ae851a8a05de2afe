#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <map>

#include "files/draft.h"
#include "files/root_path.h"
#include "files/scoped_fd.h"
#include "kesp/sysroot.h"

// Making, listing, syncing and removing directories inside the system root.

namespace KESP {
namespace detail {

namespace {

std::string directoryPart(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string namePart(const std::string& path) { return path.substr(path.rfind('/') + 1); }

/// The open draft's files in directory (path with the root) over its
/// listing: a file it makes is listed (as a regular file, which is what the
/// writer makes), one it removes is not. True when it holds any there.
bool overlayDraft(const std::string& directory, DirectoryListing& listing) {
  const DraftedFiles* draft = openDraft();
  if (!draft) return false;
  std::string prefix = directory;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  prefix += prefix == "/" ? "" : "/";
  bool any = false;
  for (auto entry = draft->lower_bound(prefix);
       entry != draft->end() && entry->first.compare(0, prefix.size(), prefix) == 0; ++entry) {
    const std::string name = entry->first.substr(prefix.size());
    if (name.empty() || name.find('/') != std::string::npos) continue;
    any = true;
    size_t at = 0;
    while (at < listing.names.size() && listing.names[at] != name) ++at;
    if (entry->second.removed && at < listing.names.size()) {
      listing.names.erase(listing.names.begin() + static_cast<long>(at));
      listing.types.erase(listing.types.begin() + static_cast<long>(at));
    } else if (!entry->second.removed && at == listing.names.size()) {
      listing.names.push_back(name);
      listing.types.push_back(DT_REG);
    }
  }
  return any;
}

}  // namespace

bool makeDirectoriesInRoot(const std::string& directory, std::vector<std::string>* created) {
  std::string relative;
  const std::string prefix = belowRoot(directory, relative) ? systemRoot() : "";
  std::string inside;
  if (!pathInRoot(directory, inside, true)) return false;
  const std::deque<std::string> parts = pathComponents(inside);
  std::string made;
  for (const std::string& part : parts) {
    const std::string parent = made.empty() ? "/" : made;
    made += "/" + part;
    Descriptor existing(openInRoot(prefix + made, O_PATH | O_DIRECTORY));
    if (existing.get() >= 0) continue;
    if (errno != ENOENT) return false;
    Descriptor at(openInRoot(prefix + parent, O_RDONLY | O_DIRECTORY));
    if (at.get() < 0) return false;
    if (mkdirat(at.get(), part.c_str(), 0755) != 0) {
      // Made by another change at the same moment: as good as ours, not ours.
      if (errno != EEXIST) return false;
      Descriptor raced(openInRoot(prefix + made, O_PATH | O_DIRECTORY));
      if (raced.get() < 0) return false;
      continue;
    }
    if (created) created->push_back(prefix + made);
    // The umask took bits off; a daemon that drops root must still read it.
    Descriptor madeFd(openat(at.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (madeFd.get() < 0 || fchmod(madeFd.get(), 0755) != 0) return false;
    if (fsync(at.get()) != 0) return false;
  }
  return true;
}

bool removeEmptyDirectoryInRoot(const std::string& path) {
  Descriptor parent(openInRoot(directoryPart(path), O_RDONLY | O_DIRECTORY));
  if (parent.get() < 0 || unlinkat(parent.get(), namePart(path).c_str(), AT_REMOVEDIR) != 0)
    return false;
  fsync(parent.get());
  return true;
}

bool syncDirectoryInRoot(const std::string& directory) {
  Descriptor fd(openInRoot(directory, O_RDONLY | O_DIRECTORY));
  return fd.get() >= 0 && fsync(fd.get()) == 0;
}

bool listDirectoryInRoot(const std::string& directory, std::vector<std::string>& names,
                         std::vector<unsigned char>* types) {
  Descriptor fd(openInRoot(directory, O_RDONLY | O_DIRECTORY));
  if (!openDraft()) return fd.get() >= 0 && listOpenDirectory(fd.get(), names, types);
  DirectoryListing listing;
  const int err = errno;
  if (fd.get() >= 0 && !listOpenDirectory(fd.get(), listing.names, &listing.types)) return false;
  // A directory the draft would make holds only the draft's files.
  if (!overlayDraft(directory, listing) && fd.get() < 0) {
    errno = err;
    return false;
  }
  names = std::move(listing.names);
  if (types) *types = std::move(listing.types);
  return true;
}

namespace {

struct KeptListings {
  int holds = 0;
  std::map<std::string, DirectoryListing> byPath;
};

KeptListings& keptListings() {
  static thread_local KeptListings kept;
  return kept;
}


const DirectoryListing* listedOnce(int directory, const std::string& path, DirectoryListing& own) {
  KeptListings& kept = keptListings();
  if (kept.holds == 0) return listOpenDirectory(directory, own.names, &own.types) ? &own : nullptr;
  const auto found = kept.byPath.find(path);
  if (found != kept.byPath.end()) return &found->second;
  DirectoryListing listing;
  if (!listOpenDirectory(directory, listing.names, &listing.types)) return nullptr;
  return &kept.byPath.emplace(path, std::move(listing)).first->second;
}

}  // namespace

void keepListings(bool keep) {
  KeptListings& kept = keptListings();
  kept.holds += keep ? 1 : -1;
  if (kept.holds == 0) kept.byPath.clear();
}

bool listingsKept() { return keptListings().holds > 0; }

const DirectoryListing* listDirectoryOnce(int directory, const std::string& path,
                                          DirectoryListing& own) {
  if (openDraft()) {
    // The kept listing stays the disk's: the draft grows while it is kept.
    const DirectoryListing* listed = listedOnce(directory, path, own);
    if (!listed) return nullptr;
    if (listed != &own) own = *listed;
    overlayDraft(path, own);
    return &own;
  }
  return listedOnce(directory, path, own);
}

long readDirectoryRecords(int directory, char* buffer, size_t size) {
  for (;;) {
    const long got = syscall(SYS_getdents64, directory, buffer, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool listOpenDirectory(int directory, std::vector<std::string>& names,
                       std::vector<unsigned char>* types) {
  names.clear();
  if (types) types->clear();
  return forEachDirectoryEntry(directory, [&](const char* name, unsigned char type) {
    names.emplace_back(name);
    if (types) types->push_back(type);
    return true;
  });
}

}  // namespace detail
}  // namespace KESP
