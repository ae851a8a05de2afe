// Finding networkd's .network files inside the system root.

#include "families/networkd/networkd_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "files/root_path.h"
#include "files/scoped_fd.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

const char* const kNetworkdEtcDirectory = "/etc/systemd/network";

namespace {

// networkd's own precedence: a name in an earlier directory hides it in later ones.
const char* const kDirectories[] = {"/etc/systemd/network", "/run/systemd/network",
                                    "/usr/local/lib/systemd/network", "/usr/lib/systemd/network",
                                    "/lib/systemd/network"};

// Keys of [Match] other than Name=: a file with any of them matches by more
// than the name.
const char* const kOtherMatchKeys[] = {"MACAddress", "PermanentMACAddress", "Path", "Driver",
                                       "Type", "Kind", "Property", "OriginalName", "Host",
                                       "Virtualization", "KernelCommandLine", "Architecture",
                                       "SSID", "BSSID", "WLANInterfaceType", "Credential"};

bool endsWith(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> result;
  for (std::string word; stream >> word;) result.push_back(word);
  return result;
}

}  // namespace

std::string trimmedValue(const std::string& value) {
  const std::string::size_type end = value.find_last_not_of(" \t\r");
  return end == std::string::npos ? std::string() : value.substr(0, end + 1);
}

std::vector<std::string> networkdFilePaths(bool* refused, NetworkdListing listing) {
  std::map<std::string, std::pair<std::string, unsigned char>> byName;
  for (const char* directory : kDirectories) {
    std::vector<std::string> names;
    std::vector<unsigned char> types;
    if (!listDirectoryInRoot(sysPath(directory), names, &types)) continue;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (endsWith(names[i], ".network") && !byName.count(names[i]))
        byName[names[i]] = {std::string(directory) + "/" + names[i], types[i]};
  }
  std::vector<std::string> paths;
  for (const auto& entry : byName) {
    const std::string& path = entry.second.first;
    // A plain file's emptiness is seen when it is read: no stat per file.
    if (listing == NetworkdListing::Unsized && entry.second.second == DT_REG) {
      paths.push_back(path);
      continue;
    }
    struct stat info;
    // A link to /dev/null (or one left dangling) and an empty file mask the
    // name; anything else that is no regular file is refused, named.
    if (!statInRoot(sysPath(path), info) || S_ISCHR(info.st_mode)) continue;
    if (!S_ISREG(info.st_mode)) {
      isRegularOrRefuse(sysPath(path), info.st_mode & S_IFMT);
      if (refused) *refused = true;
      continue;
    }
    if (info.st_size > 0) paths.push_back(path);
    if (listing == NetworkdListing::First && !paths.empty()) break;
  }
  return paths;
}

namespace {

/// The names and globs of [Match] Name=, as networkd collects them; empty
/// when there are none.
std::vector<std::string> namePatterns(KeyValueFile& file) {
  std::vector<std::string> values;
  std::vector<KeyValueFile::Position> positions;
  file.find("Match", "Name", values, positions);
  std::vector<std::string> patterns;
  for (const std::string& value : values) {
    // An empty assignment resets the list.
    const std::vector<std::string> listed = words(value);
    if (listed.empty()) patterns.clear();
    patterns.insert(patterns.end(), listed.begin(), listed.end());
  }
  return patterns;
}

bool isLiteral(const std::vector<std::string>& patterns) {
  if (patterns.empty() || patterns.front().compare(0, 1, "!") == 0) return false;
  for (const std::string& pattern : patterns)
    if (pattern.find_first_of("*?[\\") != std::string::npos) return false;
  return true;
}

}  // namespace

NetworkdMatch networkdMatch(KeyValueFile& file, const std::string& iface) {
  std::vector<std::string> patterns = namePatterns(file);
  if (patterns.empty()) {
    std::vector<KeyValueFile::Position> positions;
    for (const char* key : kOtherMatchKeys) {
      std::vector<std::string> other;
      if (file.find("Match", key, other, positions) > 0) return NetworkdMatch::None;
    }
    return NetworkdMatch::Pattern;
  }
  bool inverted = false;
  if (patterns.front().compare(0, 1, "!") == 0) {
    inverted = true;
    patterns.front().erase(0, 1);
  }
  bool matched = false;
  for (const std::string& pattern : patterns)
    if (fnmatch(pattern.c_str(), iface.c_str(), 0) == 0) matched = true;
  if (matched == inverted) return NetworkdMatch::None;
  return !inverted && patterns.size() == 1 && patterns.front() == iface ? NetworkdMatch::Exact
                                                                        : NetworkdMatch::Pattern;
}

NetworkdFileSet::NetworkdFileSet() : firstUnreadable_(std::string::npos) {
  const std::vector<std::string> paths = networkdFilePaths(&refused_, NetworkdListing::Unsized);
  // A file that cannot be read may be the one that configures an interface.
  if (refused_) return;
  for (const std::string& path : paths) {
    Entry entry;
    entry.path = path;
    if (!entry.file.load(sysPath(path))) {
      firstUnreadable_ = entries_.size();
      break;
    }
    if (entry.file.lines.empty()) continue;  // an empty file masks the name
    const std::vector<std::string> patterns = namePatterns(entry.file);
    if (isLiteral(patterns)) {
      for (const std::string& name : patterns) byName_.emplace_back(name, entries_.size());
    } else {
      general_.push_back(entries_.size());
    }
    entries_.push_back(std::move(entry));
  }
  // Sorted by name, then by order: the first of a name is the file that counts.
  std::sort(byName_.begin(), byName_.end());
}

NetworkdMatch NetworkdFileSet::find(const std::string& iface, KeyValueFile& file,
                                    std::string& path) {
  if (refused_) return NetworkdMatch::Unreadable;
  size_t best = std::string::npos;
  const auto named = std::lower_bound(byName_.begin(), byName_.end(),
                                      std::make_pair(iface, size_t{0}));
  if (named != byName_.end() && named->first == iface) best = named->second;
  for (size_t index : general_) {
    if (index >= best) break;
    if (networkdMatch(entries_[index].file, iface) != NetworkdMatch::None) best = index;
  }
  if (firstUnreadable_ != std::string::npos && (best == std::string::npos || firstUnreadable_ <= best))
    return NetworkdMatch::Unreadable;
  if (best == std::string::npos) return NetworkdMatch::None;
  file = entries_[best].file;
  path = entries_[best].path;
  return networkdMatch(file, iface);
}

NetworkdMatch findNetworkdFile(const std::string& iface, KeyValueFile& file, std::string& path) {
  return NetworkdFileSet().find(iface, file, path);
}

std::string networkdTargetPath(const std::string& iface) {
  KeyValueFile file('=');
  std::string path;
  if (findNetworkdFile(iface, file, path) == NetworkdMatch::Exact)
    return std::string(kNetworkdEtcDirectory) + path.substr(path.rfind('/'));
  return std::string(kNetworkdEtcDirectory) + "/00-kesp-" + iface + ".network";
}

std::vector<std::string> networkdInterfaceNames() {
  std::vector<std::string> names;
  for (const std::string& path : networkdFilePaths()) {
    KeyValueFile file('=');
    std::vector<std::string> values;
    std::vector<KeyValueFile::Position> positions;
    if (!file.load(sysPath(path)) || file.find("Match", "Name", values, positions) == 0) continue;
    for (const std::string& value : values)
      for (const std::string& name : words(value))
        if (name.find_first_of("*?[!") == std::string::npos &&
            std::find(names.begin(), names.end(), name) == names.end())
          names.push_back(name);
  }
  return names;
}

bool networkdIsManager() {
  // The enabling links are the mark, looked at rather than followed: their
  // absolute targets may not exist in an image. Not listed either:
  // /etc/systemd/system holds hundreds of names on a real system.
  const std::pair<const char*, const char*> links[] = {
      {"/etc/systemd/system/multi-user.target.wants", "systemd-networkd.service"},
      {"/etc/systemd/system", "dbus-org.freedesktop.network1.service"}};
  bool enabled = false;
  for (const auto& link : links) {
    Descriptor directory(openInRoot(sysPath(link.first), O_PATH | O_DIRECTORY));
    struct stat info;
    if (directory.get() >= 0 &&
        fstatat(directory.get(), link.second, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      enabled = true;
      break;
    }
  }
  return enabled && !networkdFilePaths(nullptr, NetworkdListing::First).empty();
}

}  // namespace detail
}  // namespace KESP
