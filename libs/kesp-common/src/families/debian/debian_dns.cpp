// dns-nameservers in the Debian interfaces files: ifupdown passes the option
// of each stanza it brings up to resolvconf, which merges them into resolv.conf.

#include "families/debian/debian_dns.h"

#include <cerrno>
#include <iterator>

#include "families/debian/debian_grammar.h"
#include "families/debian/debian_tree.h"
#include "files/file_write.h"
#include "files/text_lines.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "system/process.h"
#include "system/routes.h"

namespace KESP {
namespace detail {

namespace {

const char kKeyword[] = "dns-nameservers";

bool isNameServerOption(const DebianLine& line) {
  if (line.kind != DebianLineKind::Option) return false;
  const std::vector<std::string> words = splitBlanks(line.text);
  return !words.empty() && words[0] == kKeyword;
}

/// Calls visit(position, line, stanzaIface) for every line; stanzaIface is the
/// interface whose stanza the line belongs to (empty outside stanzas), and
/// for the iface line itself the interface it opens.
template <class Visit>
void walkStanzas(std::list<std::string>& lines, Visit visit) {
  std::string stanza;
  for (auto it = lines.begin(); it != lines.end();) {
    const DebianLine line = classifyDebianLine(*it);
    if (line.kind == DebianLineKind::Iface)
      stanza = ifaceLineName(line.text);
    else if (startsTopLevelItem(line))
      stanza.clear();
    it = visit(it, line, stanza);
  }
}

}  // namespace

std::vector<std::string> debianNameServers(const std::list<std::string>& lines) {
  std::vector<std::string> servers;
  std::list<std::string> copy = lines;
  walkStanzas(copy, [&](std::list<std::string>::iterator it, const DebianLine& line,
                        const std::string& stanza) {
    if (!stanza.empty() && isNameServerOption(line)) {
      const std::vector<std::string> words = splitBlanks(line.text);
      servers.insert(servers.end(), std::next(words.begin()), words.end());
    }
    return std::next(it);
  });
  return servers;
}

bool setDebianNameServers(std::list<std::string>& lines, const std::string& iface,
                          const std::vector<std::string>& servers) {
  std::string value;
  for (const std::string& server : servers) value += (value.empty() ? "" : " ") + server;
  bool found = false, inTarget = false, written = false;
  auto insertAfter = lines.end();
  std::string indent = "    ";
  walkStanzas(lines, [&](std::list<std::string>::iterator it, const DebianLine& line,
                         const std::string& stanza) {
    if (line.kind == DebianLineKind::Iface) {
      inTarget = !found && !iface.empty() && stanza == iface;
      if (inTarget) {
        found = true;
        insertAfter = it;
        indent = leadingBlanks(*it) + "    ";
      }
      return std::next(it);
    }
    if (startsTopLevelItem(line)) inTarget = false;
    if (stanza.empty() || line.kind != DebianLineKind::Option) return std::next(it);
    if (inTarget) {
      insertAfter = it;
      indent = leadingBlanks(*it);
    }
    if (!isNameServerOption(line)) return std::next(it);
    if (inTarget && !written && !value.empty()) {
      *it = rewrittenOption(*it, kKeyword, value);
      written = true;
      return std::next(it);
    }
    return lines.erase(it);
  });
  if (found && !written && !value.empty()) lines.insert(std::next(insertAfter), indent + kKeyword + " " + value);
  return found || iface.empty();
}

bool readDebianTreeNameServers(std::vector<std::string>& servers, std::string& source) {
  servers.clear();
  source.clear();
  DebianTree tree;
  if (!loadDebianTree(tree, "getDnsServers")) return true;
  for (const DebianTreeFile& file : tree.files) {
    const std::vector<std::string> found = debianNameServers(splitLines(file.content));
    if (!found.empty() && source.empty()) source = file.path;
    servers.insert(servers.end(), found.begin(), found.end());
  }
  return true;
}

bool writeDebianTreeNameServers(const std::string& iface, const std::vector<std::string>& servers,
                                const char* operation) {
  DebianTree tree;
  if (!loadDebianTree(tree, operation)) return true;  // no files, nothing to take off
  bool placed = false;
  for (const DebianTreeFile& file : tree.files) {
    std::list<std::string> lines = splitLines(file.content);
    const std::string target = placed ? std::string() : iface;
    if (setDebianNameServers(lines, target, servers) && !target.empty()) placed = true;
    const std::string text = joinLines(lines);
    if (text == file.content) continue;
    if (!replaceFile(sysPath(file.path), text)) {
      KESP_LOG(LOG_ERROR, operation, "Failed to write file " << sysPath(file.path) << errnoSuffix(errno));
      return false;
    }
  }
  return true;
}

void debianResolvconfRecord(const std::string& iface, std::string& name, std::string& text) {
  name.clear();
  text.clear();
  DebianTree tree;
  if (!loadDebianTree(tree, "setDnsServers")) return;
  std::string domain, search, servers;
  bool inTarget = false;
  for (const DebianTreeFile& file : tree.files) {
    std::list<std::string> lines = splitLines(file.content);
    walkStanzas(lines, [&](std::list<std::string>::iterator it, const DebianLine& line,
                           const std::string& stanza) {
      if (line.kind == DebianLineKind::Iface) {
        const std::vector<std::string> words = splitBlanks(line.text);
        inTarget = name.empty() && stanza == iface && words.size() > 2;
        if (inTarget) name = iface + "." + words[2];
      } else if (startsTopLevelItem(line) || stanza != iface) {
        inTarget = false;
      }
      std::vector<std::string> words = splitBlanks(line.text);
      if (!inTarget || line.kind != DebianLineKind::Option || words.size() < 2) return std::next(it);
      const std::string rest = line.text.substr(line.text.find(words[1]));
      if (words[0] == "dns-domain") domain = "domain " + words[1] + "\n";
      if (words[0] == "dns-search") search = "search " + rest + "\n";
      if (words[0] == kKeyword)
        for (size_t i = 1; i < words.size(); ++i) servers += "nameserver " + words[i] + "\n";
      return std::next(it);
    });
  }
  text = domain + search + servers;
}

std::string debianNameServerInterface(bool live, const char* operation) {
  DebianTree tree;
  if (!loadDebianTree(tree, operation)) return std::string();
  std::vector<std::string> names;
  for (const DebianTreeFile& file : tree.files) {
    TextFile text;
    text.lines = splitLines(file.content);
    listDebianInterfaces(text, names);
  }
  std::string routeText;
  if (live && readWholeFile("/proc/net/route", routeText)) {
    const std::string routed = firstIpv4DefaultRouteInterface(routeText);
    for (const std::string& name : names)
      if (name == routed) return name;
  }
  for (const std::string& name : names) {
    AddressMode mode = 0;
    Ipv4Settings ipv4;
    Ipv6Settings ipv6;
    if (readDebianTreeInterface(tree, name, mode, ipv4, ipv6) &&
        (!ipv4.gateway.empty() || !ipv6.gateway.empty()))
      return name;
  }
  return std::string();
}

}  // namespace detail
}  // namespace KESP
