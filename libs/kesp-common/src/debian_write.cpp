// Editing one interface's stanzas of the Debian interfaces file in place.

#include <algorithm>
#include <iterator>
#include <list>

#include "debian_grammar.h"
#include "debian_tree.h"
#include "kesp/interface_files.h"
#include "names.h"

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
        autoSeen_(autoElsewhere) {
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
    appendMissingStanzas();
    // A static mode always has its anchor: the stanza was seen or just added.
    if ((mode_ & STATICV4) && inetAnchorSet_)
      insertMissingOptions(detail::kInetOptions, inetOptionSeen_, ipv4_, inetAnchor_);
    if ((mode_ & STATICV6) && inet6AnchorSet_)
      insertMissingOptions(detail::kInet6Options, inet6OptionSeen_, ipv6_, inet6Anchor_);
  }

 private:
  void walk() {
    Position it = lines_.begin();
    while (it != lines_.end()) {
      const DebianLine line = detail::classifyDebianLine(*it);
      if (detail::startsTopLevelItem(line)) droppingBody_ = false;
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
    if (stanza_ == DebianStanza::Inet) {
      inetSeen_ = true;
      if (inetLine_.empty()) return dropStanzaLine(it);
      *it = inetLine_;
      inetAnchor_ = it;
      inetAnchorSet_ = true;
    } else if (stanza_ == DebianStanza::Inet6) {
      inet6Seen_ = true;
      if (!inet6Line_.empty()) {
        *it = inet6Line_;
        inet6Anchor_ = it;
        inet6AnchorSet_ = true;
      } else if (keptInet6Method_.empty()) {
        return dropStanzaLine(it);
      } else if (to_lower(method).find("static") != std::string::npos) {
        // Its address lines go below, and a static stanza without an address
        // is refused by ifup; the same test as the reader's, so the kept
        // stanza no longer reads as static either.
        *it = "iface " + iface_ + " inet6 " + keptInet6Method_;
      }
    }
    return std::next(it);
  }

  /// The stanza's own option lines go with it: left behind, they would belong
  /// to whatever comes before, or make the whole file unreadable to ifup.
  Position dropStanzaLine(Position it) {
    droppingBody_ = true;
    return lines_.erase(it);
  }

  Position editOption(Position it, const DebianLine& line) {
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
    *it = option.keyword + value;
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

  template <class Settings, size_t N>
  void insertMissingOptions(const detail::DebianOption<Settings> (&table)[N], const bool (&seen)[N],
                            const Settings& settings, Position anchor) {
    Position insertBefore = std::next(anchor);
    for (size_t i = 0; i < N; ++i) {
      const std::string& value = settings.*table[i].field;
      if (seen[i] || value.empty()) continue;
      lines_.insert(insertBefore, table[i].keyword + value);
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
};

}  // namespace

namespace detail {

void writeDebianStanzas(TextFile& file, const std::string& iface, AddressMode mode,
                        const Ipv4Settings& ipv4, const Ipv6Settings& ipv6, bool autoElsewhere,
                        bool keepAuto) {
  // The name becomes part of the file's lines: a bad one changes nothing.
  if (!checkInterfaceName(iface, "writeDebianInterface")) return;
  DebianWriter(file, iface, mode, ipv4, ipv6, autoElsewhere, keepAuto).run();
}

}  // namespace detail

void writeDebianInterface(TextFile& file, const std::string& iface, AddressMode mode,
                          const Ipv4Settings& ipv4, const Ipv6Settings& ipv6) {
  detail::writeDebianStanzas(file, iface, mode, ipv4, ipv6, false, false);
}

}  // namespace KESP
