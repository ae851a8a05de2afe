#pragma once
// The line grammar of the Debian interfaces file, shared by its reader and
// its writer so that what one writes the other reads the same way.

#include <string>
#include <vector>

#include "kesp/network_model.h"

namespace KESP {
namespace detail {

enum class DebianLineKind { Comment, Blank, Auto, Iface, Option };

/// A stored line classified on its normalised copy: leading blanks removed and
/// every run of blanks (spaces, tabs) collapsed into one space.
struct DebianLine {
  DebianLineKind kind;
  std::string text;
};

DebianLine classifyDebianLine(const std::string& stored);

/// Which of an interface's stanzas an iface line opens.
enum class DebianStanza { NotOurs, Inet, Inet6 };

/// For a normalised iface line: Inet for "iface <iface> inet ...", Inet6 for
/// "iface <iface> inet6 ...", NotOurs otherwise. `rest` (when given) receives
/// the text after that prefix: the method word and whatever follows it.
DebianStanza stanzaOf(const std::string& normalised, const std::string& iface,
                      std::string* rest = nullptr);

/// The interface a normalised iface line names; empty when it names none.
std::string ifaceLineName(const std::string& normalised);

/// Cheap test on a stored line: false when it certainly is no iface line, so
/// that a reader looking for a few interfaces can pass over all other lines
/// without normalising them.
bool mayBeIfaceLine(const char* stored, std::size_t size);
/// mayBeIfaceLine, and the word after "iface" is iface.
bool mayBeIfaceLineOf(const char* stored, std::size_t size, const std::string& iface);

/// The first word of a stored line is "source", "source-directory" or
/// "source-dir"; `words` receives the words after it. Other lines are passed
/// over without being copied.
bool isSourceLine(const char* stored, std::size_t size, std::vector<std::string>& words,
                  bool& directories);

/// The names of a normalised auto line, split at blanks.
std::vector<std::string> autoLineNames(const std::string& normalised);

/// The blanks that begin a stored line.
std::string leadingBlanks(const std::string& stored);

/// A stored option line whose first word is keyword, with its value replaced:
/// its indentation and the blanks after the keyword stay as they were.
std::string rewrittenOption(const std::string& stored, const std::string& keyword,
                            const std::string& value);

/// An auto, allow-auto or allow-hotplug line: what ifupdown starts at boot.
bool isBootStartLine(const DebianLine& line);
/// The names such a line starts.
std::vector<std::string> bootStartNames(const DebianLine& line);

/// True for lines that begin a new top-level item (iface, mapping, auto,
/// allow-*, source, ...): option lines after one of them no longer belong to
/// the stanza before it.
bool startsTopLevelItem(const DebianLine& line);

/// One interface's configuration gathered from the lines of its stanzas, fed
/// in reading order: what readDebianInterface reads from a whole file. The
/// first stanza of each family counts; later ones of that family are aliases.
class DebianInterfaceReading {
 public:
  /// mode and the settings are filled in place (mode is not reset first).
  DebianInterfaceReading(const std::string& iface, AddressMode& mode, Ipv4Settings& ipv4,
                         Ipv6Settings& ipv6)
      : iface_(iface), mode_(mode), ipv4_(ipv4), ipv6_(ipv6) {}

  /// Takes a classified line; only iface lines and option lines count.
  void feed(const DebianLine& line);
  /// Iface and option lines of the stored line (normalised only when needed).
  void feedStored(const char* stored, std::size_t size);
  /// The stanza ends where one file gives way to another.
  void leaveStanza() { stanza_ = DebianStanza::NotOurs; }
  bool inStanza() const { return stanza_ != DebianStanza::NotOurs; }
  bool found() const { return found_; }

 private:
  const std::string& iface_;
  AddressMode& mode_;
  Ipv4Settings& ipv4_;
  Ipv6Settings& ipv6_;
  DebianStanza stanza_ = DebianStanza::NotOurs;
  bool found_ = false;
  bool inetSeen_ = false;
  bool inet6Seen_ = false;
};

/// A stanza option the system reads and writes, bound to its record field.
template <class Settings>
struct DebianOption {
  const char* keyword;  // including the one space before the value
  std::string Settings::*field;
};

/// In the order in which missing lines are inserted.
extern const DebianOption<Ipv4Settings> kInetOptions[4];
extern const DebianOption<Ipv6Settings> kInet6Options[3];

/// Index of the option whose keyword begins the normalised line, or -1.
template <class Settings, size_t N>
int findDebianOption(const DebianOption<Settings> (&table)[N], const std::string& normalised) {
  for (size_t i = 0; i < N; ++i) {
    if (normalised.compare(0, std::char_traits<char>::length(table[i].keyword), table[i].keyword) ==
        0)
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace detail
}  // namespace KESP
