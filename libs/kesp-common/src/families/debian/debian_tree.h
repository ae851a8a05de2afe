#pragma once
// The Debian configuration as ifupdown reads it: the main interfaces file and
// every file that it sources ("source" with shell patterns, "source-directory"),
// directly or through other sourced files, loaded once and walked in the order
// in which their lines take effect.

#include <cstddef>
#include <list>
#include <string>
#include <vector>

#include "kesp/network_model.h"
#include "kesp/util.h"

namespace KESP {
namespace detail {

/// One loaded file of the tree.
struct DebianTreeFile {
  std::string path;     ///< as the system names it, without the system root
  std::string content;  ///< the whole text as read
  /// Where the file sources others: the offset of the line's first byte and
  /// the indices (in DebianTree::files) of the files that line brings in.
  struct Inclusion {
    std::size_t lineOffset;
    std::vector<std::size_t> files;
  };
  std::vector<Inclusion> inclusions;
};

/// The main file first, then the sourced ones in the order they are met.
struct DebianTree {
  std::vector<DebianTreeFile> files;
};

/// Loads the main interfaces file and what it sources, each file once (a file
/// sourced again, directly or through a loop, is skipped with a warning).
/// False when the main file cannot be read (not logged: callers have their own
/// message); a sourced file that cannot be read is logged under `operation`
/// and left out.
bool loadDebianTree(DebianTree& tree, const char* operation);

/// Calls visit(line) for every line of the tree in the order ifupdown reads
/// them (a sourced file's lines in place of its source line), and
/// fileBoundary() wherever one file's lines give way to another's. Lines are
/// given without their line end.
template <class LineVisitor, class BoundaryVisitor>
void walkDebianTree(const DebianTree& tree, LineVisitor&& visit, BoundaryVisitor&& fileBoundary,
                    std::size_t index = 0) {
  const DebianTreeFile& file = tree.files[index];
  const std::string& text = file.content;
  std::size_t next = 0;  // next inclusion
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (next < file.inclusions.size() && file.inclusions[next].lineOffset == start) {
      for (std::size_t child : file.inclusions[next].files) {
        fileBoundary();
        walkDebianTree(tree, visit, fileBoundary, child);
        fileBoundary();
      }
      ++next;
    } else {
      visit(text.data() + start, end - start);
    }
    start = end + 1;
  }
}

/// readDebianInterface over the whole tree in reading order; a stanza ends
/// where its file does.
bool readDebianTreeInterface(const DebianTree& tree, const std::string& iface, AddressMode& mode,
                             Ipv4Settings& ipv4, Ipv6Settings& ipv6);

/// The tree as line lists to edit, and the writer applied to the file that
/// holds each interface.
class DebianTreeEdit {
 public:
  explicit DebianTreeEdit(const DebianTree& tree);

  /// Index of the first file (the main one, then the sourced ones in the
  /// order met) that has an iface line of iface; 0, the main file, when none has.
  std::size_t ownerOf(const std::string& iface) const;

  /// writeDebianInterface over the tree: the interface's stanzas are edited
  /// in the file that defines it (or in `target`), stanzas of it in further
  /// files are taken out, a new interface goes into the main file; mode 0
  /// clears it from every file. No second auto line is added where another
  /// file already brings the interface up.
  /// False, nothing changed, when the interface's stanzas cannot be made one
  /// per family without losing options of their own (logged).
  bool write(const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
             const Ipv6Settings& ipv6);
  bool write(const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
             const Ipv6Settings& ipv6, std::size_t target);

  /// True when any file's lines differ from what was loaded.
  bool changed() const;
  /// Saves every changed file; false (logged by the save) at the first failure.
  bool save();

  /// File `index` has an iface line of iface.
  bool definesInterface(std::size_t index, const std::string& iface) const;
  /// File `index` has an auto, allow-auto or allow-hotplug line naming iface.
  bool bringsUp(std::size_t index, const std::string& iface) const;

 private:
  std::vector<TextFile> files_;
  std::vector<std::string> paths_;  // as the system names them, for messages
  std::vector<std::list<std::string>> loaded_;
};

/// Paths (without the system root) of the files a change of iface may edit:
/// the main file and every file naming iface on an iface or auto line.
std::vector<std::string> debianFilesOf(const std::string& iface, const char* operation);

/// Edits iface's stanzas as writeDebianInterface does; `autoElsewhere` means a
/// line of another file starts iface at boot (none is added here), and
/// `keepAuto` keeps the file's auto lines for iface even with mode 0. Further
/// stanzas of a family that mode keeps are removed (a warning names each);
/// false, nothing changed, when one of them holds options of its own or the
/// name is invalid (logged under operation, naming the file as shownPath).
bool writeDebianStanzas(TextFile& file, const std::string& iface, AddressMode mode,
                        const Ipv4Settings& ipv4, const Ipv6Settings& ipv6, bool autoElsewhere,
                        bool keepAuto, const std::string& shownPath, const char* operation);

}  // namespace detail
}  // namespace KESP
