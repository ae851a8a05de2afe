// Editing one interface's stanzas of the Debian interfaces file in place.

#include <algorithm>
#include <iterator>
#include <list>
#include <map>

#include "families/debian/debian_alias.h"
#include "families/debian/debian_grammar.h"
#include "families/debian/debian_tree.h"
#include "kesp/interface_files.h"
#include "files/names.h"

namespace KESP {

namespace {

using detail::DebianLine;
using detail::DebianLineKind;
using detail::DebianStanza;
using Lines = std::list<std::string>;
using Position = Lines::iterator;

/// One pass over the lines, then the additions at the end and after the anchors.
class DebianWriter {
 public:
  DebianWriter(TextFile& file, const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
               const Ipv6Settings& ipv6, bool autoElsewhere, bool keepAuto)
      : lines_(file.lines),
        iface_(iface),
        mode_(mode),
        ipv4_(ipv4),
        ipv6_(ipv6),
        keepAuto_(keepAuto),
        autoSeen_(autoElsewhere),
        fileIndent_(prevailingIndent(file.lines)) {
    if (mode & DHCPV4)
      inetLine_ = "iface " + iface + " inet dhcp";
    else if (mode & STATICV4)
      inetLine_ = "iface " + iface + " inet static";
    if (mode & STATICV6) inet6Line_ = "iface " + iface + " inet6 static";
    if (mode & DHCPV6)
      keptInet6Method_ = "dhcp";
    else if (mode & AUTOV6)
      keptInet6Method_ = "auto";
  }

  void run() {
    walk();
    // One rule for every mode: an interface nothing starts at boot gets an
    // auto line, above its first stanza when it has one.
    if (mode_ != 0 && !autoSeen_ && firstKeptSet_) {
      lines_.insert(firstKept_, "auto " + iface_);
      autoSeen_ = true;
    }
    appendMissingStanzas();
    // A static mode always has its anchor: the stanza was seen or just added.
    if ((mode_ & STATICV4) && inetAnchorSet_)
      insertMissingOptions(detail::kInetOptions, inetOptionSeen_, ipv4_, inetAnchor_,
                           indentOf(inetIndent_));
    if ((mode_ & STATICV6) && inet6AnchorSet_)
      insertMissingOptions(detail::kInet6Options, inet6OptionSeen_, ipv6_, inet6Anchor_,
                           indentOf(inet6Indent_));
  }

 private:
  /// The indentation most option lines of the file have, for a new stanza.
  static std::string prevailingIndent(const Lines& lines) {
    std::map<std::string, int> counts;
    std::string best;
    int bestCount = 0;
    for (const std::string& stored : lines) {
      const DebianLine line = detail::classifyDebianLine(stored);
      if (line.kind != DebianLineKind::Option || detail::startsTopLevelItem(line)) continue;
      const std::string indent = detail::leadingBlanks(stored);
      if (++counts[indent] > bestCount) {
        bestCount = counts[indent];
        best = indent;
      }
    }
    return best;
  }

  const std::string& indentOf(const std::string* stanzaIndent) const {
    return stanzaIndent ? *stanzaIndent : fileIndent_;
  }

  void walk() {
    Position it = lines_.begin();
    while (it != lines_.end()) {
      const DebianLine line = detail::classifyDebianLine(*it);
      if (detail::startsTopLevelItem(line)) {
        droppingBody_ = false;
        inBody_ = false;  // an iface line opens the body again
      }
      if (detail::isBootStartLine(line) && line.kind != DebianLineKind::Auto) {
        // allow-hotplug and allow-auto start the interface at boot as auto does.
        const std::vector<std::string> names = detail::bootStartNames(line);
        if (std::find(names.begin(), names.end(), iface_) != names.end()) autoSeen_ = true;
      }
      switch (line.kind) {
        case DebianLineKind::Comment:
        case DebianLineKind::Blank:
          ++it;
          break;
        case DebianLineKind::Auto:
          it = editAuto(it, line);
          break;
        case DebianLineKind::Iface:
          it = editIface(it, line);
          break;
        case DebianLineKind::Option:
          it = editOption(it, line);
          break;
      }
    }
  }

  Position editAuto(Position it, const DebianLine& line) {
    std::vector<std::string> names = detail::autoLineNames(line.text);
    if (std::find(names.begin(), names.end(), iface_) == names.end()) return std::next(it);
    if (mode_ != 0 || keepAuto_) {
      autoSeen_ = true;
      return std::next(it);
    }
    // Only this interface leaves the line; the others still come up at boot.
    names.erase(std::remove(names.begin(), names.end(), iface_), names.end());
    if (names.empty()) return lines_.erase(it);
    std::string rewritten = "auto";
    for (const std::string& name : names) rewritten += " " + name;
    *it = rewritten;
    return std::next(it);
  }

  Position editIface(Position it, const DebianLine& line) {
    std::string method;
    stanza_ = detail::stanzaOf(line.text, iface_, &method);
    inBody_ = stanza_ != DebianStanza::NotOurs;
    const std::string indent = detail::leadingBlanks(*it);
    if (stanza_ == DebianStanza::Inet) {
      if (inetSeen_ && !inetLine_.empty()) return dropAlias(it);
      inetSeen_ = true;
      if (inetLine_.empty()) return dropStanzaLine(it);
      *it = indent + inetLine_;
      inetAnchor_ = it;
      inetAnchorSet_ = true;
    } else if (stanza_ == DebianStanza::Inet6) {
      if (inet6Seen_ && (!inet6Line_.empty() || !keptInet6Method_.empty())) return dropAlias(it);
      inet6Seen_ = true;
      if (!inet6Line_.empty()) {
        *it = indent + inet6Line_;
        inet6Anchor_ = it;
        inet6AnchorSet_ = true;
      } else if (keptInet6Method_.empty()) {
        return dropStanzaLine(it);
      } else if (to_lower(method).find("static") != std::string::npos) {
        // Its address lines go below, and a static stanza without an address
        // is refused by ifup; the same test as the reader's, so the kept
        // stanza no longer reads as static either.
        *it = indent + "iface " + iface_ + " inet6 " + keptInet6Method_;
      }
    } else {
      return std::next(it);
    }
    if (!firstKeptSet_) {
      firstKept_ = it;
      firstKeptSet_ = true;
    }
    return std::next(it);
  }

  /// A further stanza of a kept family goes with its body and its marker:
  /// the first stanza holds the new settings (the caller checked that the
  /// alias holds nothing else).
  Position dropAlias(Position it) {
    stanza_ = DebianStanza::NotOurs;
    inBody_ = false;
    return dropStanzaLine(it);
  }

  /// The stanza's own option lines go with it: left behind, they would belong
  /// to whatever comes before, or make the whole file unreadable to ifup.
  Position dropStanzaLine(Position it) {
    droppingBody_ = true;
    // The marker cloud images put above a further stanza would be left
    // pointing at whatever follows.
    if (it != lines_.begin() && detail::isControlAliasComment(*std::prev(it), iface_))
      lines_.erase(std::prev(it));
    return lines_.erase(it);
  }

  Position editOption(Position it, const DebianLine& line) {
    if (inBody_ && !detail::startsTopLevelItem(line)) {
      std::string*& indent = stanza_ == DebianStanza::Inet ? inetIndent_ : inet6Indent_;
      if (!indent) indent = &indents_.emplace_back(detail::leadingBlanks(*it));
    }
    if (stanza_ == DebianStanza::Inet) {
      int index = detail::findDebianOption(detail::kInetOptions, line.text);
      if (index >= 0) {
        inetOptionSeen_[index] = true;
        return rewriteOption(it, detail::kInetOptions[index], ipv4_, (mode_ & STATICV4) != 0);
      }
    } else if (stanza_ == DebianStanza::Inet6) {
      int index = detail::findDebianOption(detail::kInet6Options, line.text);
      if (index >= 0) {
        inet6OptionSeen_[index] = true;
        return rewriteOption(it, detail::kInet6Options[index], ipv6_, (mode_ & STATICV6) != 0);
      }
    }
    if (droppingBody_) return lines_.erase(it);
    return std::next(it);
  }

  template <class Settings>
  Position rewriteOption(Position it, const detail::DebianOption<Settings>& option,
                         const Settings& settings, bool isStatic) {
    const std::string& value = settings.*option.field;
    // ifupdown refuses a whole file for one option without a value.
    if (!isStatic || value.empty()) return lines_.erase(it);
    *it = detail::rewrittenOption(*it, keywordOf(option), value);
    return std::next(it);
  }

  void appendAutoLineIfMissing() {
    if (autoSeen_) return;
    lines_.push_back("auto " + iface_);
    autoSeen_ = true;
  }

  void appendMissingStanzas() {
    if (!inetSeen_ && !inetLine_.empty()) {
      appendAutoLineIfMissing();
      lines_.push_back(inetLine_);
      inetAnchor_ = std::prev(lines_.end());
      inetAnchorSet_ = true;
    }
    if (!inet6Seen_ && !inet6Line_.empty()) {
      appendAutoLineIfMissing();
      lines_.push_back(inet6Line_);
      inet6Anchor_ = std::prev(lines_.end());
      inet6AnchorSet_ = true;
    } else if (!inet6Seen_ && !keptInet6Method_.empty()) {
      appendAutoLineIfMissing();
      // An auto line without any stanza makes ifup refuse the interface, and
      // the link never comes up for autoconfiguration or the DHCPv6 client.
      // "manual" only brings the link up and records no method.
      if (inetLine_.empty()) lines_.push_back("iface " + iface_ + " inet6 manual");
    }
  }

  template <class Settings>
  static std::string keywordOf(const detail::DebianOption<Settings>& option) {
    const std::string keyword = option.keyword;
    return keyword.substr(0, keyword.size() - 1);  // without its space
  }

  template <class Settings, size_t N>
  void insertMissingOptions(const detail::DebianOption<Settings> (&table)[N], const bool (&seen)[N],
                            const Settings& settings, Position anchor, const std::string& indent) {
    Position insertBefore = std::next(anchor);
    for (size_t i = 0; i < N; ++i) {
      const std::string& value = settings.*table[i].field;
      if (seen[i] || value.empty()) continue;
      lines_.insert(insertBefore, indent + table[i].keyword + value);
    }
  }

  Lines& lines_;
  const std::string iface_;
  const AddressMode mode_;
  const Ipv4Settings& ipv4_;
  const Ipv6Settings& ipv6_;
  const bool keepAuto_;

  std::string inetLine_;         // empty: the IPv4 stanza goes
  std::string inet6Line_;        // set: the IPv6 stanza becomes static
  std::string keptInet6Method_;  // set: an existing IPv6 stanza stays

  DebianStanza stanza_ = DebianStanza::NotOurs;
  bool inBody_ = false;  // on an option line of one of iface's stanzas
  bool droppingBody_ = false;
  bool autoSeen_;
  bool inetSeen_ = false;
  bool inet6Seen_ = false;
  bool inetOptionSeen_[4] = {};
  bool inet6OptionSeen_[3] = {};
  Position inetAnchor_;
  Position inet6Anchor_;
  bool inetAnchorSet_ = false;
  bool inet6AnchorSet_ = false;
  Position firstKept_;  // iface's first stanza line that stays
  bool firstKeptSet_ = false;
  const std::string fileIndent_;
  std::list<std::string> indents_;  // stable storage for the two pointers below
  std::string* inetIndent_ = nullptr;   // of the kept stanza's first option line
  std::string* inet6Indent_ = nullptr;
};

}  // namespace

namespace detail {

bool writeDebianStanzas(TextFile& file, const std::string& iface, AddressMode mode,
                        const Ipv4Settings& ipv4, const Ipv6Settings& ipv6, bool autoElsewhere,
                        bool keepAuto, const std::string& shownPath, const char* operation) {
  // The name becomes part of the file's lines: a bad one changes nothing.
  if (!checkInterfaceName(iface, operation)) return false;
  const std::vector<DebianAliasStanza> aliases = findDebianAliases(file.lines, iface, false);
  if (!aliasesCanBeFolded(aliases, mode, iface, shownPath, operation)) return false;
  reportFoldedAliases(aliases, mode, iface, shownPath, operation);
  DebianWriter(file, iface, mode, ipv4, ipv6, autoElsewhere, keepAuto).run();
  return true;
}

}  // namespace detail

void writeDebianInterface(TextFile& file, const std::string& iface, AddressMode mode,
                          const Ipv4Settings& ipv4, const Ipv6Settings& ipv6) {
  detail::writeDebianStanzas(file, iface, mode, ipv4, ipv6, false, false,
                             file.filename.empty() ? DEBIAN_INTERFACES_FILE : file.filename,
                             "writeDebianInterface");
}

}  // namespace KESP
