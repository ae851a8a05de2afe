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
/// every run of two or more blanks collapsed into its last character.
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

/// The names of a normalised auto line, split at blanks.
std::vector<std::string> autoLineNames(const std::string& normalised);

/// True for lines that begin a new top-level item (iface, mapping, auto,
/// allow-*, source, ...): option lines after one of them no longer belong to
/// the stanza before it.
bool startsTopLevelItem(const DebianLine& line);

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
