// Finding networkd's .network files inside the system root.

#include "families/networkd/networkd_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "files/file_write.h"
#include "files/root_path.h"
#include "files/text_lines.h"
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
  // Every name with the directory it stands in and its type; sorted by name
  // and then by directory, the first of each name is the one networkd reads.
  struct Listed {
    std::string name;
    std::size_t directory;
    unsigned char type;
    bool operator<(const Listed& other) const {
      const int order = name.compare(other.name);
      return order != 0 ? order < 0 : directory < other.directory;
    }
  };
  std::vector<Listed> listed;
  for (std::size_t d = 0; d < sizeof kDirectories / sizeof kDirectories[0]; ++d) {
    std::vector<std::string> names;
    std::vector<unsigned char> types;
    if (!listDirectoryInRoot(sysPath(kDirectories[d]), names, &types)) continue;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (endsWith(names[i], ".network")) listed.push_back({std::move(names[i]), d, types[i]});
  }
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (i > 0 && listed[i].name == listed[i - 1].name) continue;  // hidden by an earlier directory
    const std::string path = std::string(kDirectories[listed[i].directory]) + "/" + listed[i].name;
    // A plain file's emptiness is seen when it is read: no stat per file.
    if (listing == NetworkdListing::Unsized && listed[i].type == DT_REG) {
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

NetworkdNameMatch networkdNameMatch(KeyValueFile& file) {
  NetworkdNameMatch match;
  match.patterns = namePatterns(file);
  if (match.patterns.empty()) {
    std::vector<KeyValueFile::Position> positions;
    for (const char* key : kOtherMatchKeys) {
      std::vector<std::string> other;
      if (file.find("Match", key, other, positions) > 0) match.otherKeys = true;
    }
  }
  return match;
}

NetworkdMatch networkdMatch(const NetworkdNameMatch& match, const std::string& iface) {
  if (match.patterns.empty()) return match.otherKeys ? NetworkdMatch::None : NetworkdMatch::Pattern;
  const bool inverted = match.patterns.front().compare(0, 1, "!") == 0;
  bool matched = false;
  bool first = true;
  for (const std::string& pattern : match.patterns) {
    const char* text = pattern.c_str() + (first && inverted ? 1 : 0);
    first = false;
    if (fnmatch(text, iface.c_str(), 0) == 0) matched = true;
  }
  if (matched == inverted) return NetworkdMatch::None;
  return !inverted && match.patterns.size() == 1 && match.patterns.front() == iface
             ? NetworkdMatch::Exact
             : NetworkdMatch::Pattern;
}

NetworkdMatch networkdMatch(KeyValueFile& file, const std::string& iface) {
  return networkdMatch(networkdNameMatch(file), iface);
}

NetworkdFileSet::NetworkdFileSet()
    : paths_(networkdFilePaths(&refused_, NetworkdListing::Unsized)) {
  static_assert(sizeof kDirectories / sizeof kDirectories[0] == kDirectoryCount,
                "one descriptor per directory");
}

bool NetworkdFileSet::read(size_t index, KeyValueFile& file) {
  const std::string& path = paths_[index];
  const std::string::size_type slash = path.rfind('/');
  const std::string directory = path.substr(0, slash);
  int fd = -1;
  for (size_t d = 0; d < kDirectoryCount; ++d) {
    if (directory != kDirectories[d]) continue;
    if (!opened_[d]) {
      directories_[d].reset(openInRoot(sysPath(directory), O_RDONLY | O_DIRECTORY));
      opened_[d] = true;
    }
    fd = directories_[d].get();
    break;
  }
  std::string content;
  const ReadResult result =
      fd >= 0 ? readFileInDirectory(fd, sysPath(directory), path.substr(slash + 1), content)
              : readFile(sysPath(path), content);
  if (result != ReadResult::Read) return false;
  file.filename = sysPath(path);
  file.lines = splitLines(content);
  return true;
}

NetworkdMatch NetworkdFileSet::find(const std::string& iface, KeyValueFile& file,
                                    std::string& path) {
  // A file that cannot be read may be the one that configures iface.
  if (refused_) return NetworkdMatch::Unreadable;
  // Among the files read so far: the first that matches, read again.
  size_t best = std::string::npos;
  const auto named = byName_.find(iface);
  if (named != byName_.end()) best = named->second;
  for (const General& general : general_) {
    if (general.index >= best) break;
    if (networkdMatch(general.match, iface) != NetworkdMatch::None) best = general.index;
  }
  if (best != std::string::npos) {
    if (!read(best, file)) return NetworkdMatch::Unreadable;
    path = paths_[best];
    return networkdMatch(file, iface);
  }
  // Else read on, in networkd's order, up to the first file that matches.
  while (!unreadable_ && next_ < paths_.size()) {
    const size_t index = next_++;
    KeyValueFile loaded('=');
    if (!read(index, loaded)) {
      unreadable_ = true;
      break;
    }
    if (loaded.lines.empty()) continue;  // an empty file masks the name
    NetworkdNameMatch match = networkdNameMatch(loaded);
    const NetworkdMatch result = networkdMatch(match, iface);
    if (isLiteral(match.patterns)) {
      for (const std::string& name : match.patterns) byName_.emplace(name, index);
    } else {
      general_.push_back({index, std::move(match)});
    }
    if (result != NetworkdMatch::None) {
      file = std::move(loaded);
      path = paths_[index];
      return result;
    }
  }
  return unreadable_ ? NetworkdMatch::Unreadable : NetworkdMatch::None;
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
