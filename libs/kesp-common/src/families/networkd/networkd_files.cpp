// Finding networkd's .network files inside the system root.

#include "families/networkd/networkd_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

#include "files/file_write.h"
#include "files/root_path.h"
#include "files/text_lines.h"
#include "files/word_list.h"
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

bool isNetworkName(std::string_view name) {
  const std::string_view extension = ".network";
  return name.size() > extension.size() &&
         name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
}

/// Whether networkd reads the file at path (without the root), from its
/// status when known, else followed inside the root: a link to /dev/null (or
/// one left dangling) and an empty file mask the name; anything else that is
/// no regular file is refused, named.
enum class FileUse { Read, Masked, Refused };
FileUse fileUse(const std::string& path, const struct stat* known) {
  struct stat followed;
  if (!known) {
    if (!statInRoot(sysPath(path), followed)) return FileUse::Masked;
    known = &followed;
  }
  if (S_ISCHR(known->st_mode)) return FileUse::Masked;
  if (!S_ISREG(known->st_mode)) {
    isRegularOrRefuse(sysPath(path), known->st_mode & S_IFMT);
    return FileUse::Refused;
  }
  return known->st_size > 0 ? FileUse::Read : FileUse::Masked;
}

}  // namespace

std::string trimmedValue(const std::string& value) {
  const std::string::size_type end = value.find_last_not_of(" \t\r");
  return end == std::string::npos ? std::string() : value.substr(0, end + 1);
}

std::vector<NetworkdListed> listNetworkdFiles(Descriptor* directories) {
  std::vector<NetworkdListed> listed;
  for (std::size_t d = 0; d < kNetworkdDirectoryCount; ++d) {
    Descriptor own;
    Descriptor& opened = directories ? directories[d] : own;
    const std::string path = sysPath(kDirectories[d]);
    opened.reset(openInRoot(path, O_RDONLY | O_DIRECTORY));
    if (opened.get() < 0) continue;
    forEachListedEntry(opened.get(), path, [&](const char* name, unsigned char type) {
      if (isNetworkName(name)) listed.push_back({name, d, type});
      return true;
    });
  }
  // Sorted by name and then by directory, the first of each name is the one
  // networkd reads.
  std::sort(listed.begin(), listed.end(), [](const NetworkdListed& a, const NetworkdListed& b) {
    const int order = a.name.compare(b.name);
    return order != 0 ? order < 0 : a.directory < b.directory;
  });
  listed.erase(std::unique(listed.begin(), listed.end(),
                           [](const NetworkdListed& a, const NetworkdListed& b) {
                             return a.name == b.name;
                           }),
               listed.end());
  return listed;
}

std::string NetworkdListed::path() const {
  return std::string(kDirectories[directory]) + "/" + name;
}

std::vector<std::string> networkdFilePaths(bool* refused) {
  std::vector<std::string> paths;
  for (const NetworkdListed& file : listNetworkdFiles(nullptr)) {
    std::string path = file.path();
    const FileUse use = fileUse(path, nullptr);
    if (use == FileUse::Refused && refused) *refused = true;
    if (use == FileUse::Read) paths.push_back(std::move(path));
  }
  return paths;
}

bool anyNetworkdFile() {
  // Stops at the first file networkd reads, without a name copied or sorted:
  // on a usual system the first name in /etc.
  std::vector<std::string> earlier;  // the names of the directories before, which hide theirs
  for (const char* directory : kDirectories) {
    const std::string path = sysPath(directory);
    Descriptor opened(openInRoot(path, O_RDONLY | O_DIRECTORY));
    if (opened.get() < 0) continue;
    const size_t before = earlier.size();
    bool found = false;
    forEachListedEntry(opened.get(), path, [&](const char* name, unsigned char type) {
      if (!isNetworkName(name) ||
          std::find(earlier.begin(), earlier.begin() + static_cast<long>(before), name) !=
              earlier.begin() + static_cast<long>(before))
        return true;
      earlier.emplace_back(name);
      // A plain file is looked at in its directory; a link is followed inside the root.
      struct stat info;
      const bool plain = type == DT_REG &&
                         fstatat(opened.get(), name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(info.st_mode);
      found = fileUse(std::string(directory) + "/" + name, plain ? &info : nullptr) == FileUse::Read;
      return !found;
    });
    if (found) return true;
  }
  return false;
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
    const std::vector<std::string> listed = blankSeparatedWords(value);
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

namespace {

/// networkd's configuration parser takes lines shorter than this (1 MiB,
/// its line end not counted): at this length it logs "Line too long" and
/// ignores the whole file.
constexpr size_t kNetworkdLineLimit = size_t{1} << 20;

/// The number (from 1) of the first line of text networkd would not take;
/// 0 when there is none.
size_t tooLongLine(const std::string& text) {
  size_t number = 1;
  for (size_t start = 0; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end - start >= kNetworkdLineLimit) return number;
    start = end + 1;
  }
  return 0;
}

}  // namespace

NetworkdFileSet::NetworkdFileSet() {
  static_assert(sizeof kDirectories / sizeof kDirectories[0] == kNetworkdDirectoryCount,
                "one descriptor per directory");
  for (size_t d = 0; d < kNetworkdDirectoryCount; ++d) inRoot_[d] = sysPath(kDirectories[d]);
  for (NetworkdListed& file : listNetworkdFiles(directories_)) {
    // A plain file's emptiness is seen when it is read: no status call for it.
    const FileUse use = file.type == DT_REG ? FileUse::Read : fileUse(file.path(), nullptr);
    if (use == FileUse::Refused) refused_ = true;
    if (use == FileUse::Read) files_.push_back(std::move(file));
  }
}

bool NetworkdFileSet::read(size_t index, KeyValueFile& file) {
  const NetworkdListed& listed = files_[index];
  const std::string& directory = inRoot_[listed.directory];
  std::optional<DirectoryReader>& reader = readers_[listed.directory];
  if (!reader) reader.emplace(directories_[listed.directory].get(), directory, kMaxReadBytes);
  std::string content;
  if (reader->read(listed.name, listed.type, content) != ReadResult::Read) return false;
  // Edited, such a file would still be ignored: the change would be reported
  // and never seen.
  if (const size_t line = tooLongLine(content)) {
    noteRefused(directory + "/" + listed.name,
                "line " + std::to_string(line) + " is 1 MiB or longer; systemd-networkd would "
                "ignore the file (\"Line too long\")");
    errno = EFBIG;
    return false;
  }
  file.filename.reserve(directory.size() + 1 + listed.name.size());
  file.filename.assign(directory).append(1, '/').append(listed.name);
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
    path = files_[best].path();
    return networkdMatch(file, iface);
  }
  // Else read on, in networkd's order, up to the first file that matches.
  while (!unreadable_ && next_ < files_.size()) {
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
      path = files_[index].path();
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
      for (const std::string& name : blankSeparatedWords(value))
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
  return enabled && anyNetworkdFile();
}

}  // namespace detail
}  // namespace KESP
