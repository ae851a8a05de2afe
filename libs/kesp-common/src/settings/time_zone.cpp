// The time zone in the system's files. The zone's name comes from an operator
// and becomes a path: it is checked before any file is opened by it.

#include "kesp/time_zone.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "change/change_scope.h"
#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "files/root_path.h"

namespace KESP {

namespace {

const char kZoneDatabase[] = "/usr/share/zoneinfo";
const char kLocalTime[] = "/etc/localtime";
const char kTimeZoneFile[] = "/etc/timezone";
const char kEtc[] = "/etc";
const char kZoneMagic[] = "TZif";
// Copies of the whole database with other leap-second rules: no regions.
const char* const kHiddenTopEntries[] = {"posix", "right"};

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '+' || c == '/' || c == '.';
}

/// A relative path inside the database: no empty, "." or ".." part.
bool isDatabasePath(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  if (!std::all_of(name.begin(), name.end(), isNameCharacter)) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find('/', start);
    const std::string part = name.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

enum class EntryKind { Other, Region, Zone };

EntryKind kindOf(const std::string& path) {
  const int fd = detail::openInRoot(sysPath(path), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return EntryKind::Other;
  struct stat info;
  EntryKind kind = EntryKind::Other;
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    kind = EntryKind::Region;
  } else if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    char magic[4];
    if (read(fd, magic, sizeof magic) == static_cast<ssize_t>(sizeof magic) &&
        std::memcmp(magic, kZoneMagic, sizeof magic) == 0)
      kind = EntryKind::Zone;
  }
  close(fd);
  return kind;
}

/// /etc/localtime replaced by a link to target: made under a hidden name
/// beside it and renamed over it, so that it is never missing.
bool replaceLocalTimeLink(const std::string& target) {
  const int etc = detail::openInRoot(sysPath(kEtc), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (etc < 0) {
    KESP_LOG(LOG_ERROR, "setTimeZoneFiles", "cannot open " << kEtc << detail::errnoSuffix(errno));
    return false;
  }
  const std::string temporary = ".localtime." + std::to_string(getpid());
  unlinkat(etc, temporary.c_str(), 0);
  bool done = symlinkat(target.c_str(), etc, temporary.c_str()) == 0;
  if (done && renameat(etc, temporary.c_str(), etc, "localtime") != 0) {
    const int err = errno;
    unlinkat(etc, temporary.c_str(), 0);
    errno = err;
    done = false;
  }
  if (!done)
    KESP_LOG(LOG_ERROR, "setTimeZoneFiles",
             "cannot write " << sysPath(kLocalTime) << detail::errnoSuffix(errno));
  else
    fsync(etc);
  close(etc);
  return done;
}

}  // namespace

bool listZoneEntries(const std::string& directory, std::vector<ZoneEntry>& entries) {
  entries.clear();
  if (!directory.empty() && !isDatabasePath(directory)) return false;
  const std::string base = std::string(kZoneDatabase) + (directory.empty() ? "" : "/" + directory);
  const int fd = detail::openInRoot(sysPath(base), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(fd < 0 ? nullptr : fdopendir(fd), closedir);
  if (fd >= 0 && !dir) ::close(fd);
  if (!dir) {
    KESP_LOG(LOG_ERROR, "listZoneEntries", "cannot read directory " << base);
    return false;
  }
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || !isDatabasePath(name)) continue;
    if (directory.empty() && std::find(std::begin(kHiddenTopEntries), std::end(kHiddenTopEntries),
                                       name) != std::end(kHiddenTopEntries))
      continue;
    const EntryKind kind = kindOf(base + "/" + name);
    if (kind != EntryKind::Other) entries.push_back({name, kind == EntryKind::Region});
  }
  std::sort(entries.begin(), entries.end(),
            [](const ZoneEntry& a, const ZoneEntry& b) { return a.name < b.name; });
  return true;
}

bool isZoneName(const std::string& name) {
  return isDatabasePath(name) && kindOf(std::string(kZoneDatabase) + "/" + name) == EntryKind::Zone;
}

std::string configuredTimeZone() {
  TextFile file;
  if (file.load(sysPath(kTimeZoneFile)) && !file.lines.empty()) {
    std::string zone = file.lines.front();
    zone.erase(0, zone.find_first_not_of(" \t"));
    zone.erase(zone.find_last_not_of(" \t\r") + 1);
    if (!zone.empty()) return zone;
  }
  char target[4096];
  const ssize_t length = readlink(sysPath(kLocalTime).c_str(), target, sizeof target - 1);
  if (length <= 0) return std::string();
  const std::string link(target, static_cast<size_t>(length));
  const std::string marker = "zoneinfo/";
  const size_t at = link.rfind(marker);
  return at == std::string::npos ? std::string() : link.substr(at + marker.size());
}

bool setTimeZoneFiles(const std::string& zone) {
  if (!isZoneName(zone)) {
    KESP_LOG(LOG_ERROR, "setTimeZoneFiles", "not a time zone: '" << terminalSafe(zone) << "'");
    return false;
  }
  detail::ChangeScope scope("setTimeZoneFiles");
  if (!scope.isOpen()) return false;
  TextFile name;
  name.filename = sysPath(kTimeZoneFile);
  name.lines = {zone};
  // The name first: should the link fail, the change is rolled back whole.
  bool written = name.save();
  if (!written) KESP_LOG(LOG_ERROR, "setTimeZoneFiles", "cannot write " << name.filename);
  written = written && replaceLocalTimeLink(std::string(kZoneDatabase) + "/" + zone);
  return scope.finish(written);
}

}  // namespace KESP
