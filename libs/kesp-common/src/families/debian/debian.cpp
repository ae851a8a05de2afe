// Reading an interface's configuration from the Debian interfaces file.

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "families/debian/debian_grammar.h"
#include "families/debian/debian_tree.h"
#include "kesp/interface_files.h"

namespace KESP {

namespace {

using detail::DebianLine;
using detail::DebianLineKind;
using detail::DebianStanza;

/// A method word adds its bit, combining with the value before only when that
/// holds nothing but the other family's partner bit; a second stanza of the
/// same family therefore replaces what the first one said.
AddressMode applyMethod(AddressMode before, AddressMode bit,
                        std::initializer_list<AddressMode> partners) {
  for (AddressMode partner : partners) {
    if (before == partner) return before | bit;
  }
  return bit;
}

AddressMode inetMethod(AddressMode before, const std::string& method) {
  // The whole rest of the line is searched, so a word after the method counts.
  if (method.find("dhcp") != std::string::npos)
    return applyMethod(before, DHCPV4, {DHCPV6, STATICV6});
  if (method.find("static") != std::string::npos)
    return applyMethod(before, STATICV4, {DHCPV6, STATICV6});
  return before;
}

AddressMode inet6Method(AddressMode before, const std::string& method) {
  if (method.find("static") != std::string::npos)
    return applyMethod(before, STATICV6, {DHCPV4, STATICV4});
  return before;
}

template <class Settings, size_t N>
void readOption(const detail::DebianOption<Settings> (&table)[N], const std::string& text,
                Settings& settings) {
  int index = detail::findDebianOption(table, text);
  if (index < 0) return;
  const auto& option = table[index];
  settings.*option.field = text.substr(std::char_traits<char>::length(option.keyword));
}

}  // namespace

namespace detail {

void DebianInterfaceReading::feed(const DebianLine& line) {
  if (line.kind == DebianLineKind::Iface) {
    // Only the text after "iface <name> inet[6] " is searched for the
    // method, so that a name such as "wan-dhcp" does not count as one.
    std::string method;
    stanza_ = stanzaOf(line.text, iface_, &method);
    if (stanza_ == DebianStanza::NotOurs) return;
    found_ = true;
    // Further stanzas of a family (cloud images write them for more
    // addresses) are aliases: the first one is the configuration that is
    // shown and edited, so its values are never mixed with theirs.
    bool& familySeen = stanza_ == DebianStanza::Inet ? inetSeen_ : inet6Seen_;
    if (familySeen) {
      stanza_ = DebianStanza::NotOurs;
      return;
    }
    familySeen = true;
    method = to_lower(method);
    mode_ = stanza_ == DebianStanza::Inet ? inetMethod(mode_, method) : inet6Method(mode_, method);
  } else if (line.kind == DebianLineKind::Option) {
    if (stanza_ == DebianStanza::Inet) readOption(kInetOptions, line.text, ipv4_);
    if (stanza_ == DebianStanza::Inet6) readOption(kInet6Options, line.text, ipv6_);
  }
}

void DebianInterfaceReading::feedStored(const char* stored, std::size_t size) {
  // Outside the interface's stanzas only an iface line can matter.
  if (!inStanza() && !mayBeIfaceLineOf(stored, size, iface_)) return;
  feed(classifyDebianLine(std::string(stored, size)));
}

bool readDebianTreeInterface(const DebianTree& tree, const std::string& iface, AddressMode& mode,
                             Ipv4Settings& ipv4, Ipv6Settings& ipv6) {
  DebianInterfaceReading reading(iface, mode, ipv4, ipv6);
  walkDebianTree(
      tree, [&reading](const char* line, std::size_t size) { reading.feedStored(line, size); },
      [&reading] { reading.leaveStanza(); });
  return reading.found();
}

}  // namespace detail

bool readDebianInterface(const TextFile& file, const std::string& iface, AddressMode& mode,
                         Ipv4Settings& ipv4, Ipv6Settings& ipv6) {
  detail::DebianInterfaceReading reading(iface, mode, ipv4, ipv6);
  for (const std::string& stored : file.lines) reading.feedStored(stored.data(), stored.size());
  return reading.found();
}

void listDebianInterfaces(const TextFile& file, std::vector<std::string>& names) {
  for (const std::string& stored : file.lines) {
    const DebianLine line = detail::classifyDebianLine(stored);
    if (line.kind != DebianLineKind::Iface) continue;
    const std::string name = detail::ifaceLineName(line.text);
    if (name.empty()) continue;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
}

}  // namespace KESP
