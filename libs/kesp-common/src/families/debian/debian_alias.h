#pragma once
// Further stanzas of one interface and family: cloud images write one per
// extra address ("# control-alias eth0" above a second "iface eth0 inet
// static"). ifupdown runs them all, so they are one configuration; the writer
// keeps the first stanza of each family and folds the others away.

#include <cstddef>
#include <list>
#include <string>
#include <vector>

#include "kesp/network_model.h"

namespace KESP {
namespace detail {

struct DebianAliasStanza {
  std::size_t line = 0;   ///< 1-based number of its iface line
  std::string ifaceLine;  ///< normalised
  bool inet6 = false;
  /// Normalised option lines of its body that the writer does not own.
  std::vector<std::string> otherOptions;
};

/// iface's stanzas in lines after the first of each family; every stanza of
/// iface when allAreAliases (a file after the one that defines iface).
std::vector<DebianAliasStanza> findDebianAliases(const std::list<std::string>& lines,
                                                 const std::string& iface, bool allAreAliases);

/// Whether mode leaves iface a stanza of that family (so its aliases are
/// folded into it rather than removed with the whole family).
bool keepsInetStanza(AddressMode mode);
bool keepsInet6Stanza(AddressMode mode);

/// False, logged at ERROR under operation, when an alias of a family that mode
/// keeps holds options the writer does not own: one stanza per family could
/// not keep them, and dropping them would silently change the configuration.
bool aliasesCanBeFolded(const std::vector<DebianAliasStanza>& aliases, AddressMode mode,
                        const std::string& iface, const std::string& path,
                        const char* operation);

/// Warns (LOG_WARN under operation) about each alias of a kept family, which
/// the writer removes.
void reportFoldedAliases(const std::vector<DebianAliasStanza>& aliases, AddressMode mode,
                         const std::string& iface, const std::string& path,
                         const char* operation);

/// "# control-alias <iface>": the marker cloud images put above an alias.
bool isControlAliasComment(const std::string& stored, const std::string& iface);

}  // namespace detail
}  // namespace KESP
