#include "interface_change.h"

#include "commands.h"

#include "input_checks.h"
#include "kesp/network_change.h"
#include "kesp/util.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

using KESP::AddressMode;

const AddressMode kAllModeBits = KESP::IPV4_MODES | KESP::IPV6_MODES;

void add(std::vector<std::string>& problems, const std::string& problem) {
  if (!problem.empty()) problems.push_back(problem);
}

void refuseUnused(std::vector<std::string>& problems, const std::string& value,
                  const std::string& refusal) {
  if (!value.empty()) problems.push_back(refusal);
}

void checkIpv4Side(const InterfaceChange& change, std::vector<std::string>& problems) {
  if (!(change.mode & KESP::STATICV4)) {
    refuseUnused(problems, change.ipv4Address, tr("an IPv4 address is only used with STATICV4 in the mode"));
    refuseUnused(problems, change.ipv4Netmask, tr("an IPv4 netmask is only used with STATICV4 in the mode"));
    refuseUnused(problems, change.ipv4Gateway, tr("an IPv4 gateway is only used with STATICV4 in the mode"));
    return;
  }
  if (change.ipv4Address.empty()) {
    problems.push_back(tr("STATICV4 needs an IPv4 address"));
  } else {
    add(problems, checkIpv4Address(change.ipv4Address));
  }
  if (change.ipv4Netmask.empty()) {
    problems.push_back(tr("STATICV4 needs an IPv4 netmask"));
  } else {
    add(problems, checkNetmask(change.ipv4Netmask));
  }
  if (problems.empty()) add(problems, checkIpv4HostInNetwork(change.ipv4Address, change.ipv4Netmask));
  if (!change.ipv4Gateway.empty() && problems.empty())
    add(problems, checkIpv4Gateway(change.ipv4Gateway, change.ipv4Address, change.ipv4Netmask));
}

void checkIpv6Side(const InterfaceChange& change, std::vector<std::string>& problems) {
  if (!(change.mode & KESP::STATICV6)) {
    refuseUnused(problems, change.ipv6Address, tr("an IPv6 address is only used with STATICV6 in the mode"));
    refuseUnused(problems, change.ipv6Prefix, tr("an IPv6 prefix is only used with STATICV6 in the mode"));
    refuseUnused(problems, change.ipv6Gateway, tr("an IPv6 gateway is only used with STATICV6 in the mode"));
    return;
  }
  const size_t before = problems.size();
  if (change.ipv6Address.empty()) {
    problems.push_back(tr("STATICV6 needs an IPv6 address"));
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
    problems.push_back(trf("the mode must name at most one IPv4 and one IPv6 method: {1}",
                           {modeNameList()}));
    return problems;
  }
  checkIpv4Side(change, problems);
  checkIpv6Side(change, problems);
  return problems;
}

std::string findSystemProblem(const InterfaceChange& change, const SystemTraits& traits) {
  if (traits.flavour == KESP::FLAVOUR_NONE)
    return trf("no {1} network configuration was found", {knownFamilies()});
  if ((change.mode & KESP::DHCPV4) && !traits.dhcpv4Usable)
    return tr("DHCPv4 needs a DHCP client, and this system has none installed (no DHCP client)");
  if ((change.mode & KESP::DHCPV6) && !traits.dhcpv6Client)
    return tr("DHCPv6 needs a DHCPv6 client, and this system has none installed");
  if (traits.flavour == KESP::FLAVOUR_REDHAT && change.mode == KESP::DHCPV6)
    return tr("this system's family cannot use DHCPv6 without an IPv4 method");
  return "";
}

std::string waitNotice(const InterfaceChange& change) {
  const bool v4 = change.mode & KESP::IPV4_MODES, v6 = change.mode & KESP::IPV6_MODES;
  const std::string seconds = std::to_string(KESP::ADDRESS_WAIT_SECONDS);
  if (v4 && v6)
    return trf("waiting up to {1} seconds for {2} to get an IPv4 or IPv6 address", {seconds, change.iface});
  if (v4) return trf("waiting up to {1} seconds for {2} to get an IPv4 address", {seconds, change.iface});
  return trf("waiting up to {1} seconds for {2} to get an IPv6 address", {seconds, change.iface});
}

std::string describeChange(const InterfaceChange& change) {
  std::string text = modeName(change.mode);
  if (change.mode & KESP::STATICV4) {
    const int length = netmaskPrefixLength(change.ipv4Netmask);
    text += ", IPv4 " + change.ipv4Address + "/" +
            (length >= 0 ? std::to_string(length) : change.ipv4Netmask);
    text += change.ipv4Gateway.empty() ? tr(", no IPv4 gateway")
                                       : trf(" gateway {1}", {change.ipv4Gateway});
  }
  if (change.mode & KESP::STATICV6) {
    text += ", IPv6 " + change.ipv6Address + "/" + change.ipv6Prefix;
    text += change.ipv6Gateway.empty() ? tr(", no IPv6 gateway")
                                       : trf(" gateway {1}", {change.ipv6Gateway});
  }
  return text;
}

}  // namespace kesp_config_net
