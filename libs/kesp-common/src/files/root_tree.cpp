#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <map>

#include "kesp/sysroot.h"
#include "files/root_path.h"
#include "files/scoped_fd.h"

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
    if (fsync(at.get()) != 0) return false;
    if (created) created->push_back(prefix + made);
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
  return fd.get() >= 0 && listOpenDirectory(fd.get(), names, types);
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

}  // namespace

void keepListings(bool keep) {
  KeptListings& kept = keptListings();
  kept.holds += keep ? 1 : -1;
  if (kept.holds == 0) kept.byPath.clear();
}

bool listingsKept() { return keptListings().holds > 0; }

const DirectoryListing* listDirectoryOnce(int directory, const std::string& path,
                                          DirectoryListing& own) {
  KeptListings& kept = keptListings();
  if (kept.holds == 0) return listOpenDirectory(directory, own.names, &own.types) ? &own : nullptr;
  const auto found = kept.byPath.find(path);
  if (found != kept.byPath.end()) return &found->second;
  DirectoryListing listing;
  if (!listOpenDirectory(directory, listing.names, &listing.types)) return nullptr;
  return &kept.byPath.emplace(path, std::move(listing)).first->second;
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
