// Finding and reporting the further stanzas of an interface's family.

#include "families/debian/debian_alias.h"

#include "families/debian/debian_grammar.h"
#include "kesp/log.h"

namespace KESP {
namespace detail {

namespace {

bool ownsOption(const std::string& normalised, bool inet6) {
  return inet6 ? findDebianOption(kInet6Options, normalised) >= 0
               : findDebianOption(kInetOptions, normalised) >= 0;
}

bool familyKept(const DebianAliasStanza& alias, AddressMode mode) {
  return alias.inet6 ? keepsInet6Stanza(mode) : keepsInetStanza(mode);
}

std::string describe(const DebianAliasStanza& alias, const std::string& path) {
  return "'" + alias.ifaceLine + "' at line " + std::to_string(alias.line) + " of " + path;
}

}  // namespace

std::vector<DebianAliasStanza> findDebianAliases(const std::list<std::string>& lines,
                                                 const std::string& iface, bool allAreAliases) {
  std::vector<DebianAliasStanza> aliases;
  bool inetSeen = allAreAliases;
  bool inet6Seen = allAreAliases;
  DebianAliasStanza* current = nullptr;  // re-pointed after every push_back
  std::size_t number = 0;
  for (const std::string& stored : lines) {
    ++number;
    const DebianLine line = classifyDebianLine(stored);
    if (startsTopLevelItem(line)) current = nullptr;
    if (line.kind == DebianLineKind::Iface) {
      const DebianStanza stanza = stanzaOf(line.text, iface);
      if (stanza == DebianStanza::NotOurs) {
        current = nullptr;
        continue;
      }
      bool& seen = stanza == DebianStanza::Inet ? inetSeen : inet6Seen;
      if (seen) {
        aliases.push_back({number, line.text, stanza == DebianStanza::Inet6, {}});
        current = &aliases.back();
      } else {
        current = nullptr;
      }
      seen = true;
    } else if (current && line.kind == DebianLineKind::Option &&
               !ownsOption(line.text, current->inet6)) {
      current->otherOptions.push_back(line.text);
    }
  }
  return aliases;
}

bool keepsInetStanza(AddressMode mode) { return (mode & (DHCPV4 | STATICV4)) != 0; }

bool keepsInet6Stanza(AddressMode mode) { return (mode & (STATICV6 | DHCPV6 | AUTOV6)) != 0; }

bool aliasesCanBeFolded(const std::vector<DebianAliasStanza>& aliases, AddressMode mode,
                        const std::string& iface, const std::string& path,
                        const char* operation) {
  bool foldable = true;
  for (const DebianAliasStanza& alias : aliases) {
    if (!familyKept(alias, mode) || alias.otherOptions.empty()) continue;
    KESP_LOG(LOG_ERROR, operation,
             iface << " has several " << (alias.inet6 ? "inet6" : "inet") << " stanzas; "
                   << describe(alias, path) << " holds options of its own ('"
                   << alias.otherOptions.front()
                   << "'), which one stanza per family cannot keep: merge it into the first "
                      "stanza by hand; nothing was changed");
    foldable = false;
  }
  return foldable;
}

void reportFoldedAliases(const std::vector<DebianAliasStanza>& aliases, AddressMode mode,
                         const std::string& iface, const std::string& path,
                         const char* operation) {
  for (const DebianAliasStanza& alias : aliases) {
    if (!familyKept(alias, mode)) continue;
    KESP_LOG(LOG_WARN, operation,
             "removed the alias stanza " << describe(alias, path) << ": one stanza now holds "
                                         << iface << "'s " << (alias.inet6 ? "inet6" : "inet")
                                         << " settings");
  }
}

bool isControlAliasComment(const std::string& stored, const std::string& iface) {
  std::string::size_type at = stored.find_first_not_of(" \t");
  if (at == std::string::npos || stored[at] != '#') return false;
  const DebianLine rest = classifyDebianLine(stored.substr(at + 1));
  return rest.text == "control-alias " + iface || rest.text == "control-alias " + iface + " ";
}

}  // namespace detail
}  // namespace KESP
