// Loading the Debian configuration with the files it sources, and editing an
// interface in the file that holds it.

#include "families/debian/debian_tree.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "families/debian/debian_alias.h"
#include "families/debian/debian_grammar.h"
#include "files/file_write.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "files/root_path.h"
#include "files/text_lines.h"

namespace KESP {
namespace detail {

namespace {

// ifupdown takes a relative pattern as relative to the directory of the
// main file, whatever file the source line stands in.
const char kRelativeBase[] = "/etc/network/";

bool hasWildcard(const std::string& part) {
  return part.find_first_of("*?[") != std::string::npos;
}

/// The paths (without the system root) that match pattern, sorted as glob
/// sorts. Matched one component at a time inside the root, so that a link in
/// the image never lists a directory of the host.
std::vector<std::string> expandPattern(const std::string& pattern) {
  const std::string absolute = pattern[0] == '/' ? pattern : kRelativeBase + pattern;
  std::vector<std::string> paths{""};
  std::string::size_type start = 1;
  while (start <= absolute.size() && !paths.empty()) {
    std::string::size_type end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    const std::string part = absolute.substr(start, end - start);
    const bool last = end == absolute.size();
    start = end + 1;
    if (part.empty()) continue;
    std::vector<std::string> next;
    for (const std::string& base : paths) {
      if (!hasWildcard(part)) {
        next.push_back(base + "/" + part);
        continue;
      }
      std::vector<std::string> names;
      if (!listDirectoryInRoot(sysPath(base.empty() ? "/" : base), names)) continue;
      std::sort(names.begin(), names.end());
      for (const std::string& name : names)
        if (fnmatch(part.c_str(), name.c_str(), FNM_PERIOD) == 0) next.push_back(base + "/" + name);
    }
    // Only what exists matches; on the way only directories lead on.
    paths.clear();
    for (const std::string& path : next) {
      struct stat info;
      if (statInRoot(sysPath(path), info) && (last || S_ISDIR(info.st_mode)))
        paths.push_back(path);
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

/// A directory's files as "source-directory" takes them: names of letters,
/// digits, "_" and "-" only (so no editor copies or package leftovers), sorted.
std::vector<std::string> directoryFiles(const std::string& directory) {
  std::vector<std::string> listed;
  std::vector<std::string> names;
  if (!listDirectoryInRoot(sysPath(directory), listed)) return names;
  for (const std::string& name : listed) {
    const bool plain = std::all_of(name.begin(), name.end(), [](unsigned char c) {
      return std::isalnum(c) || c == '_' || c == '-';
    });
    if (plain && !name.empty()) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> paths;
  const std::string prefix = directory.back() == '/' ? directory : directory + "/";
  for (const std::string& name : names) paths.push_back(prefix + name);
  return paths;
}

std::vector<std::string> sourcedPaths(const std::vector<std::string>& words, bool directories) {
  std::vector<std::string> paths;
  for (const std::string& word : words) {
    for (const std::string& match : expandPattern(word)) {
      if (!directories) {
        paths.push_back(match);
        continue;
      }
      for (const std::string& file : directoryFiles(match)) paths.push_back(file);
    }
  }
  return paths;
}

class TreeLoader {
 public:
  TreeLoader(DebianTree& tree, const char* operation) : tree_(tree), operation_(operation) {}

  /// Loads path as the next file; its index, or -1 when it was left out.
  long load(const std::string& path, bool isMain) {
    const std::string normal = std::filesystem::path(path).lexically_normal().string();
    // Each file once: a loop of sources, or one file reached by two names,
    // would otherwise be read again and again or define its interfaces twice.
    if (!seenPaths_.insert(normal).second) return skipAgain(normal);
    DebianTreeFile file;
    file.path = normal;
    struct stat info {};
    if (readFile(sysPath(normal), file.content, &info) != ReadResult::Read) {
      if (!isMain) KESP_LOG(LOG_ERROR, operation_, "cannot read sourced file " << normal);
      return -1;
    }
    if (info.st_ino != 0 && !seenFiles_.insert({info.st_dev, info.st_ino}).second)
      return skipAgain(normal);
    const std::size_t index = tree_.files.size();
    tree_.files.push_back(std::move(file));
    followSources(index);
    return static_cast<long>(index);
  }

 private:
  long skipAgain(const std::string& path) {
    KESP_LOG(LOG_WARN, operation_, "skipping " << path << ", which is sourced again");
    return -1;
  }

  void followSources(std::size_t index) {
    std::vector<std::pair<std::size_t, std::vector<std::string>>> found;
    {
      const std::string& text = tree_.files[index].content;
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> words;
        bool directories = false;
        if (isSourceLine(text.data() + start, end - start, words, directories))
          found.emplace_back(start, sourcedPaths(words, directories));
        start = end + 1;
      }
    }
    // Loading appends to tree_.files: no reference into it is held across.
    for (const auto& source : found) {
      DebianTreeFile::Inclusion inclusion{source.first, {}};
      for (const std::string& path : source.second) {
        const long child = load(path, false);
        if (child >= 0) inclusion.files.push_back(static_cast<std::size_t>(child));
      }
      tree_.files[index].inclusions.push_back(std::move(inclusion));
    }
  }

  DebianTree& tree_;
  const char* operation_;
  std::set<std::string> seenPaths_;
  std::set<std::pair<dev_t, ino_t>> seenFiles_;
};

}  // namespace

bool loadDebianTree(DebianTree& tree, const char* operation) {
  tree.files.clear();
  return TreeLoader(tree, operation).load(DEBIAN_INTERFACES_FILE, true) == 0;
}

DebianTreeEdit::DebianTreeEdit(const DebianTree& tree) {
  for (const DebianTreeFile& source : tree.files) {
    TextFile file;
    file.filename = sysPath(source.path);
    file.lines = splitLines(source.content);
    loaded_.push_back(file.lines);
    files_.push_back(std::move(file));
    paths_.push_back(source.path);
  }
}

bool DebianTreeEdit::definesInterface(std::size_t index, const std::string& iface) const {
  for (const std::string& stored : files_[index].lines) {
    if (!mayBeIfaceLine(stored.data(), stored.size())) continue;
    const DebianLine line = classifyDebianLine(stored);
    if (line.kind == DebianLineKind::Iface && stanzaOf(line.text, iface) != DebianStanza::NotOurs)
      return true;
  }
  return false;
}

bool DebianTreeEdit::bringsUp(std::size_t index, const std::string& iface) const {
  for (const std::string& stored : files_[index].lines) {
    const DebianLine line = classifyDebianLine(stored);
    if (!isBootStartLine(line)) continue;
    const std::vector<std::string> names = bootStartNames(line);
    if (std::find(names.begin(), names.end(), iface) != names.end()) return true;
  }
  return false;
}

std::size_t DebianTreeEdit::ownerOf(const std::string& iface) const {
  for (std::size_t i = 0; i < files_.size(); ++i)
    if (definesInterface(i, iface)) return i;
  return 0;
}

bool DebianTreeEdit::write(const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
                           const Ipv6Settings& ipv6) {
  return write(iface, mode, ipv4, ipv6, ownerOf(iface));
}

bool DebianTreeEdit::write(const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
                           const Ipv6Settings& ipv6, std::size_t target) {
  const char* const operation = "writeNetworkFiles";
  if (mode == 0) {
    for (std::size_t i = 0; i < files_.size(); ++i)
      writeDebianStanzas(files_[i], iface, 0, ipv4, ipv6, false, false, paths_[i], operation);
    return true;
  }
  // Every stanza of a further file is an alias of the defining file's; all
  // are checked before any file is edited.
  std::vector<std::vector<DebianAliasStanza>> elsewhere(files_.size());
  bool foldable = true;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (i == target || !definesInterface(i, iface)) continue;
    elsewhere[i] = findDebianAliases(files_[i].lines, iface, true);
    foldable = aliasesCanBeFolded(elsewhere[i], mode, iface, paths_[i], operation) && foldable;
  }
  if (!foldable ||
      !aliasesCanBeFolded(findDebianAliases(files_[target].lines, iface, false), mode, iface,
                          paths_[target], operation))
    return false;
  // Stanzas left in a further file would make ifupdown see the interface twice.
  bool autoElsewhere = false;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (i == target) continue;
    if (!elsewhere[i].empty()) {
      reportFoldedAliases(elsewhere[i], mode, iface, paths_[i], operation);
      writeDebianStanzas(files_[i], iface, 0, Ipv4Settings(), Ipv6Settings(), false, true,
                         paths_[i], operation);
    }
    autoElsewhere = autoElsewhere || bringsUp(i, iface);
  }
  return writeDebianStanzas(files_[target], iface, mode, ipv4, ipv6, autoElsewhere, false,
                            paths_[target], operation);
}

bool DebianTreeEdit::changed() const {
  for (std::size_t i = 0; i < files_.size(); ++i)
    if (files_[i].lines != loaded_[i]) return true;
  return false;
}

bool DebianTreeEdit::save() {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (files_[i].lines == loaded_[i]) continue;
    if (!files_[i].save()) return false;
    loaded_[i] = files_[i].lines;
  }
  return true;
}

std::vector<std::string> debianFilesOf(const std::string& iface, const char* operation) {
  std::vector<std::string> paths = {DEBIAN_INTERFACES_FILE};
  DebianTree tree;
  if (!loadDebianTree(tree, operation)) return paths;
  const DebianTreeEdit edit(tree);
  for (std::size_t i = 1; i < tree.files.size(); ++i) {
    if (edit.definesInterface(i, iface) || edit.bringsUp(i, iface))
      paths.push_back(tree.files[i].path);
  }
  return paths;
}

}  // namespace detail
}  // namespace KESP
