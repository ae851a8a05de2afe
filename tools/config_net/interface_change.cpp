#include "interface_change.h"

#include "input_checks.h"
#include "kesp/util.h"

namespace kesp_config_net {

namespace {

using KESP::AddressMode;

const AddressMode kAllModeBits = KESP::IPV4_MODES | KESP::IPV6_MODES;

void add(std::vector<std::string>& problems, const std::string& problem) {
  if (!problem.empty()) problems.push_back(problem);
}

void refuseUnused(std::vector<std::string>& problems, const std::string& value,
                  const char* what, const char* neededMode) {
  if (!value.empty())
    problems.push_back(std::string("an ") + what + " is only used with " + neededMode +
                       " in the mode");
}

void checkIpv4Side(const InterfaceChange& change, std::vector<std::string>& problems) {
  if (!(change.mode & KESP::STATICV4)) {
    refuseUnused(problems, change.ipv4Address, "IPv4 address", "STATICV4");
    refuseUnused(problems, change.ipv4Netmask, "IPv4 netmask", "STATICV4");
    refuseUnused(problems, change.ipv4Gateway, "IPv4 gateway", "STATICV4");
    return;
  }
  if (change.ipv4Address.empty()) {
    problems.push_back("STATICV4 needs an IPv4 address");
  } else {
    add(problems, checkIpv4Address(change.ipv4Address));
  }
  if (change.ipv4Netmask.empty()) {
    problems.push_back("STATICV4 needs an IPv4 netmask");
  } else {
    add(problems, checkNetmask(change.ipv4Netmask));
  }
  if (!change.ipv4Gateway.empty() && problems.empty())
    add(problems, checkIpv4Gateway(change.ipv4Gateway, change.ipv4Address, change.ipv4Netmask));
}

void checkIpv6Side(const InterfaceChange& change, std::vector<std::string>& problems) {
  if (!(change.mode & KESP::STATICV6)) {
    refuseUnused(problems, change.ipv6Address, "IPv6 address", "STATICV6");
    refuseUnused(problems, change.ipv6Prefix, "IPv6 prefix", "STATICV6");
    refuseUnused(problems, change.ipv6Gateway, "IPv6 gateway", "STATICV6");
    return;
  }
  const size_t before = problems.size();
  if (change.ipv6Address.empty()) {
    problems.push_back("STATICV6 needs an IPv6 address");
  } else {
    add(problems, checkIpv6Address(change.ipv6Address));
  }
  add(problems, checkIpv6Prefix(change.ipv6Prefix));
  if (!change.ipv6Gateway.empty() && problems.size() == before)
    add(problems, checkIpv6Gateway(change.ipv6Gateway, change.ipv6Address));
}

}  // namespace

std::string modeName(AddressMode mode) {
  if (mode == 0) return "NONE";
  std::string name;
  KESP::getModeName(mode, name);
  return name;
}

bool modeFromName(const std::string& name, AddressMode& mode) {
  const std::string wanted = KESP::to_upper(name);
  for (AddressMode candidate = 1; candidate <= kAllModeBits; ++candidate) {
    std::string candidateName;
    KESP::getModeName(candidate, candidateName);
    if (!candidateName.empty() && candidateName == wanted) {
      mode = candidate;
      return true;
    }
  }
  return false;
}

std::string modeNameList() {
  std::string list;
  for (AddressMode candidate = 1; candidate <= kAllModeBits; ++candidate) {
    std::string name;
    KESP::getModeName(candidate, name);
    if (name.empty()) continue;
    list += (list.empty() ? "" : ", ") + name;
  }
  return list;
}

void normaliseChange(InterfaceChange& change) {
  std::string address, length;
  if (change.ipv4Netmask.empty() && splitPrefix(change.ipv4Address, address, length)) {
    change.ipv4Address = address;
    change.ipv4Netmask = length.empty() ? "/" : length;  // "/" stays visibly wrong
  }
  std::string dotted;
  if (netmaskFromText(change.ipv4Netmask, dotted)) change.ipv4Netmask = dotted;

  if (change.ipv6Prefix.empty() && splitPrefix(change.ipv6Address, address, length)) {
    change.ipv6Address = address;
    change.ipv6Prefix = length.empty() ? "/" : length;
  }
  if (change.ipv6Prefix.size() > 1 && change.ipv6Prefix[0] == '/')
    change.ipv6Prefix.erase(0, 1);
  if ((change.mode & KESP::STATICV6) && change.ipv6Prefix.empty() && !change.ipv6Address.empty())
    change.ipv6Prefix = "64";
}

std::vector<std::string> findFormatProblems(const InterfaceChange& change) {
  std::vector<std::string> problems;
  add(problems, checkInterfaceName(change.iface));
  if (change.mode == 0 || (change.mode & ~kAllModeBits) || modeName(change.mode).empty()) {
    problems.push_back("the mode must name at most one IPv4 and one IPv6 method: " +
                       modeNameList());
    return problems;
  }
  checkIpv4Side(change, problems);
  checkIpv6Side(change, problems);
  return problems;
}

std::string findSystemProblem(const InterfaceChange& change, const SystemTraits& traits) {
  if (traits.flavour == KESP::FLAVOUR_NONE)
    return "no interface files of a known family (Debian, Red Hat or SUSE) were found";
  if ((change.mode & KESP::DHCPV6) && !traits.dhcpv6Client)
    return "DHCPv6 needs a DHCPv6 client, and this system has none installed";
  if (traits.flavour == KESP::FLAVOUR_REDHAT && change.mode == KESP::DHCPV6)
    return "this system's family cannot use DHCPv6 without an IPv4 method";
  return "";
}

std::string describeChange(const InterfaceChange& change) {
  std::string text = modeName(change.mode);
  if (change.mode & KESP::STATICV4) {
    const int length = netmaskPrefixLength(change.ipv4Netmask);
    text += ", IPv4 " + change.ipv4Address + "/" +
            (length >= 0 ? std::to_string(length) : change.ipv4Netmask);
    text += change.ipv4Gateway.empty() ? ", no IPv4 gateway"
                                       : " gateway " + change.ipv4Gateway;
  }
  if (change.mode & KESP::STATICV6) {
    text += ", IPv6 " + change.ipv6Address + "/" + change.ipv6Prefix;
    text += change.ipv6Gateway.empty() ? ", no IPv6 gateway"
                                       : " gateway " + change.ipv6Gateway;
  }
  return text;
}

}  // namespace kesp_config_net
