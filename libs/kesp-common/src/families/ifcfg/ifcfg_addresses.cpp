#include "families/ifcfg/ifcfg_addresses.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "model/ipv4_prefix.h"
#include "kesp/interface_files.h"
#include "kesp/network_model.h"
#include "files/key_line.h"
#include "kesp/log.h"

namespace KESP {
namespace detail {

namespace {

bool isDigits(const std::string& text) {
  return !text.empty() && text.size() < 6 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/// The keys of the file's key lines, each once, in file order.
std::vector<std::string> keysOf(const KeyValueFile& file) {
  std::vector<std::string> keys;
  std::set<std::string> seen;
  std::string key, value;
  for (const std::string& line : file.lines) {
    if (parseKeyLine(line, '=', false, false, key, value) && seen.insert(key).second)
      keys.push_back(key);
  }
  return keys;
}

/// The suffix of key after base; false when key does not start with base.
bool suffixAfter(const std::string& key, const std::string& base, std::string& suffix) {
  if (key.compare(0, base.size(), base) != 0) return false;
  suffix = key.substr(base.size());
  return true;
}

bool isIpv6(const std::string& text) {
  in6_addr parsed{};
  return text.find('\0') == std::string::npos && inet_pton(AF_INET6, text.c_str(), &parsed) == 1;
}

/// Splits "address/length"; the length stays empty without a slash.
void splitLength(const std::string& text, std::string& address, std::string& length) {
  const std::string::size_type slash = text.rfind('/');
  address = text.substr(0, slash);
  length = slash == std::string::npos ? "" : text.substr(slash + 1);
}

std::string valueOf(KeyValueFile& file, const std::string& key) {
  std::string value;
  getUnquotedValue(file, key, value);
  return value;
}

/// A Red Hat IPv4 length: PREFIXn, else the length of NETMASKn.
std::string redHatLength(KeyValueFile& file, const std::string& suffix) {
  const std::string prefix = valueOf(file, "PREFIX" + suffix);
  if (!prefix.empty()) return prefix;
  return prefixLengthOfNetmask(valueOf(file, "NETMASK" + suffix));
}

/// A SUSE length: "/N" in the value, else NETMASK<s> (IPv4), else PREFIXLEN<s>.
std::string suseLength(KeyValueFile& file, const std::string& suffix, bool ipv6,
                       const std::string& stated) {
  if (!stated.empty()) return stated;
  if (!ipv6) {
    const std::string fromMask = prefixLengthOfNetmask(valueOf(file, "NETMASK" + suffix));
    if (!fromMask.empty()) return fromMask;
  }
  return valueOf(file, "PREFIXLEN" + suffix);
}

const char* const kRedHatBases[] = {"IPADDR", "NETMASK", "PREFIX", "GATEWAY"};
const char* const kSuseBases[] = {"IPADDR",    "NETMASK", "PREFIXLEN",     "BROADCAST",
                                  "LABEL",     "SCOPE",   "REMOTE_IPADDR"};

}  // namespace

std::string prefixLengthOfNetmask(const std::string& netmask) {
  in_addr mask{};
  if (netmask.empty() || netmask.find('\0') != std::string::npos ||
      inet_pton(AF_INET, netmask.c_str(), &mask) != 1)
    return std::string();
  return std::to_string(countBits(ntohl(mask.s_addr)));
}

std::vector<std::string> IfcfgAddresses::furtherTexts() const {
  std::vector<std::string> texts;
  for (size_t i = 0; i < all.size(); ++i) {
    if (static_cast<int>(i) == mainIpv4 || static_cast<int>(i) == mainIpv6) continue;
    texts.push_back(all[i].length.empty() ? all[i].address
                                          : all[i].address + "/" + all[i].length);
  }
  return texts;
}

IfcfgAddresses redHatAddresses(KeyValueFile& file) {
  IfcfgAddresses result;
  std::vector<std::pair<long, std::string>> numbered;
  std::string suffix;
  for (const std::string& key : keysOf(file)) {
    if (suffixAfter(key, "IPADDR", suffix) && isDigits(suffix))
      numbered.emplace_back(std::strtol(suffix.c_str(), nullptr, 10), suffix);
  }
  std::sort(numbered.begin(), numbered.end());
  std::vector<std::string> suffixes;
  std::string unused;
  if (getUnquotedValue(file, "IPADDR", unused)) suffixes.push_back("");
  for (const auto& entry : numbered) suffixes.push_back(entry.second);
  for (const std::string& s : suffixes) {
    IfcfgAddress address;
    address.suffix = s;
    address.address = valueOf(file, "IPADDR" + s);
    address.length = redHatLength(file, s);
    result.all.push_back(address);
  }
  if (!result.all.empty()) result.mainIpv4 = 0;

  std::string ipv6;
  if (getUnquotedValue(file, "IPV6ADDR", ipv6)) {
    IfcfgAddress address;
    address.ipv6 = true;
    splitLength(ipv6, address.address, address.length);
    result.mainIpv6 = static_cast<int>(result.all.size());
    result.all.push_back(address);
  }
  std::string secondaries;
  if (getUnquotedValue(file, "IPV6ADDR_SECONDARIES", secondaries)) {
    std::string::size_type start = 0;
    while ((start = secondaries.find_first_not_of(" \t", start)) != std::string::npos) {
      const std::string::size_type end = secondaries.find_first_of(" \t", start);
      IfcfgAddress address;
      address.ipv6 = true;
      address.suffix = "_SECONDARIES";
      splitLength(secondaries.substr(start, end - start), address.address, address.length);
      result.all.push_back(address);
      start = end;
    }
  }
  return result;
}

IfcfgAddresses suseAddresses(KeyValueFile& file) {
  IfcfgAddresses result;
  std::string suffix;
  std::vector<std::string> suffixes;
  for (const std::string& key : keysOf(file)) {
    if (suffixAfter(key, "IPADDR", suffix)) suffixes.push_back(suffix);
  }
  // The unsuffixed key is the main one wherever it stands.
  std::stable_partition(suffixes.begin(), suffixes.end(),
                        [](const std::string& s) { return s.empty(); });
  for (const std::string& s : suffixes) {
    IfcfgAddress address;
    address.suffix = s;
    std::string stated;
    splitLength(valueOf(file, "IPADDR" + s), address.address, stated);
    if (address.address.empty()) continue;
    address.ipv6 = isIpv6(address.address);
    address.length = suseLength(file, s, address.ipv6, stated);
    const int index = static_cast<int>(result.all.size());
    if (!address.ipv6 && (result.mainIpv4 < 0)) result.mainIpv4 = index;
    if (address.ipv6 && (result.mainIpv6 < 0 || s == "0")) result.mainIpv6 = index;
    result.all.push_back(address);
  }
  return result;
}

std::vector<std::string> furtherAddressKeys(KeyValueFile& file, bool suse,
                                            const std::vector<std::string>& rewritten) {
  const std::vector<std::string> keys = keysOf(file);
  std::set<std::string> suffixes;
  std::string suffix;
  for (const std::string& key : keys) {
    if (suffixAfter(key, "IPADDR", suffix)) suffixes.insert(suffix);
  }
  // An address the writer is about to put under a suffix must not inherit
  // what was left there without one (a stray NETMASK0 beside a new IPADDR0):
  // the next write would take it as the address's own and remove it.
  for (const std::string& key : rewritten) {
    if (suffixAfter(key, "IPADDR", suffix)) suffixes.insert(suffix);
  }
  std::vector<std::string> found;
  for (const std::string& key : keys) {
    if (std::find(rewritten.begin(), rewritten.end(), key) != rewritten.end()) continue;
    bool further = !suse && key == "IPV6ADDR_SECONDARIES";
    if (!suse) {
      for (const char* base : kRedHatBases)
        further = further || (suffixAfter(key, base, suffix) && isDigits(suffix));
    } else {
      for (const char* base : kSuseBases)
        further = further || (suffixAfter(key, base, suffix) && !suffix.empty() &&
                              suffixes.count(suffix) > 0);
    }
    if (further) found.push_back(key);
  }
  return found;
}

void setUnlessOther(KeyValueFile& file, const std::string& key, const std::string& value) {
  std::string existing;
  if (!getUnquotedValue(file, key, existing) || existing == value) file.set(key, value);
}

void removeFurtherAddresses(KeyValueFile& file, const std::string& iface, bool suse,
                            const std::vector<std::string>& rewritten, const char* operation) {
  const std::vector<std::string> keys = furtherAddressKeys(file, suse, rewritten);
  if (keys.empty()) return;
  std::string named;
  for (const std::string& key : keys) {
    file.remove(key);
    named += (named.empty() ? "" : " ") + key;
  }
  KESP_LOG(LOG_WARN, operation, iface << ": removed the further addresses " << named);
}

}  // namespace detail
}  // namespace KESP
