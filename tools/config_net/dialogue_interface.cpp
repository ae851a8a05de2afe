// The interface part of the dialogue: which interface, then its IPv4 and
// IPv6 methods and, for static addresses, the address, netmask or prefix and
// gateway.

#include <ostream>

#include "dialogue_parts.h"
#include "input_checks.h"
#include "report_render.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

using KESP::AddressMode;

const char kNone[] = "none";

std::string padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

void listInterfaces(const DialogueFacts& facts, std::ostream& out) {
  out << tr("Ethernet interfaces:") << "\n";
  size_t number = 1;
  for (const InterfaceReport& item : facts.system.interfaces) {
    out << "  " << number++ << ") " << padded(item.name, 10) << padded(configuredModeText(item), 22)
        << liveAddressText(item) << "\n";
  }
}

/// The interface the answer names (a number from the list, or a name), or
/// the problem with the answer.
std::string pickInterface(const DialogueFacts& facts, const std::string& answer,
                          std::string& name) {
  const auto& items = facts.system.interfaces;
  bool digits = !answer.empty() && answer.size() <= 4;
  for (char c : answer) digits = digits && c >= '0' && c <= '9';
  if (digits) {
    const size_t index = std::stoul(answer);
    if (index < 1 || index > items.size())
      return trf("{1} is not one of the listed numbers 1-{2}",
                 {quoteForMessage(answer), std::to_string(items.size())});
    name = items[index - 1].name;
    return "";
  }
  for (const InterfaceReport& item : items) {
    if (item.name == answer) {
      name = answer;
      return "";
    }
  }
  // An offline image's interfaces are only those its files configure; a new
  // one may be named. On a live system a name outside the list is a typo.
  if (!facts.system.live) {
    const std::string problem = checkInterfaceName(answer);
    if (problem.empty()) name = answer;
    return problem;
  }
  return trf("{1} is not one of the listed interfaces", {quoteForMessage(answer)});
}

const InterfaceReport* findReport(const DialogueFacts& facts, const std::string& name) {
  for (const InterfaceReport& item : facts.system.interfaces)
    if (item.name == name) return &item;
  return nullptr;
}

/// "none" and an empty answer both mean no gateway.
bool meansNone(const std::string& answer) { return answer.empty() || answer == kNone; }

bool askStaticIpv4(const InterfaceReport& current, Prompter& prompter, InterfaceChange& change) {
  const bool wasStatic = (current.mode & KESP::STATICV4) != 0;
  std::string netmaskFromAddress;
  std::string answer;
  if (!prompter.ask(tr("IPv4 address"), wasStatic ? current.ipv4.address : "",
                    [&](const std::string& text) -> std::string {
                      std::string address = text, length;
                      if (text.empty()) return tr("an IPv4 address is needed");
                      netmaskFromAddress.clear();
                      if (splitPrefix(text, address, length)) {
                        if (!netmaskFromText(length, netmaskFromAddress))
                          return trf("{1} is not a prefix length (0-32)", {quoteForMessage(length)});
                      }
                      const std::string problem = checkIpv4Address(address);
                      if (!problem.empty() || netmaskFromAddress.empty()) return problem;
                      return checkIpv4HostInNetwork(address, netmaskFromAddress);
                    },
                    answer))
    return false;
  std::string length;
  if (!splitPrefix(answer, change.ipv4Address, length)) change.ipv4Address = answer;
  if (!netmaskFromAddress.empty()) {
    change.ipv4Netmask = netmaskFromAddress;
  } else {
    const std::string fallback = wasStatic && !current.ipv4.netmask.empty() ? current.ipv4.netmask
                                                                            : "255.255.255.0";
    if (!prompter.ask(tr("Netmask"), fallback,
                      [&](const std::string& text) -> std::string {
                        std::string dotted;
                        if (!netmaskFromText(text, dotted)) return checkNetmask(text);
                        return checkIpv4HostInNetwork(change.ipv4Address, dotted);
                      },
                      answer))
      return false;
    netmaskFromText(answer, change.ipv4Netmask);
  }
  const std::string fallback = wasStatic ? current.ipv4.gateway : "";
  if (!prompter.ask(fallback.empty() ? tr("Gateway (Enter for none)") : tr("Gateway ('none' for none)"),
                    fallback,
                    [&](const std::string& text) -> std::string {
                      if (meansNone(text)) return "";
                      return checkIpv4Gateway(text, change.ipv4Address, change.ipv4Netmask);
                    },
                    answer))
    return false;
  change.ipv4Gateway = meansNone(answer) ? "" : answer;
  return true;
}

bool askStaticIpv6(const InterfaceReport& current, Prompter& prompter, InterfaceChange& change) {
  const bool wasStatic = (current.mode & KESP::STATICV6) != 0;
  std::string prefixFromAddress;
  std::string answer;
  if (!prompter.ask(tr("IPv6 address"), wasStatic ? current.ipv6.address : "",
                    [&](const std::string& text) -> std::string {
                      std::string address = text, length;
                      if (text.empty()) return tr("an IPv6 address is needed");
                      prefixFromAddress.clear();
                      if (splitPrefix(text, address, length)) {
                        const std::string problem = checkIpv6Prefix(length);
                        if (!problem.empty()) return problem;
                        prefixFromAddress = length;
                      }
                      return checkIpv6Address(address);
                    },
                    answer))
    return false;
  std::string length;
  if (!splitPrefix(answer, change.ipv6Address, length)) change.ipv6Address = answer;
  if (!prefixFromAddress.empty()) {
    change.ipv6Prefix = prefixFromAddress;
  } else {
    if (!prompter.ask(tr("Prefix length"), wasStatic && !current.ipv6.prefix.empty() ? current.ipv6.prefix : "64",
                      checkIpv6Prefix, answer))
      return false;
    change.ipv6Prefix = answer[0] == '/' ? answer.substr(1) : answer;
  }
  const std::string fallback = wasStatic ? current.ipv6.gateway : "";
  if (!prompter.ask(fallback.empty() ? tr("IPv6 gateway (Enter for none)")
                                     : tr("IPv6 gateway ('none' for none)"),
                    fallback,
                    [&](const std::string& text) -> std::string {
                      return meansNone(text) ? "" : checkIpv6Gateway(text, change.ipv6Address);
                    },
                    answer))
    return false;
  change.ipv6Gateway = meansNone(answer) ? "" : answer;
  return true;
}

struct Method {
  std::string label;
  AddressMode mode;
};

/// The index of the first method that shares a bit with mode, else otherwise.
size_t indexOfMode(const std::vector<Method>& methods, AddressMode mode, size_t otherwise) {
  for (size_t i = 0; i < methods.size(); ++i)
    if (methods[i].mode & mode) return i;
  return otherwise;
}

bool chooseMethod(Prompter& prompter, const std::string& title, const std::vector<Method>& methods,
                  size_t fallbackIndex, AddressMode& chosen) {
  std::vector<std::string> labels;
  for (const Method& method : methods) labels.push_back(method.label);
  size_t choice = 0;
  if (!prompter.choose(title, labels, fallbackIndex, choice)) return false;
  chosen = methods[choice].mode;
  return true;
}

bool askAddressing(const DialogueFacts& facts, const InterfaceReport& current, Prompter& prompter,
                   InterfaceChange& change) {
  // DHCP is offered only where a client can run it, as DHCPv6 below.
  std::vector<Method> ipv4Methods;
  if (facts.system.dhcpv4Usable) ipv4Methods.push_back({"DHCP", KESP::DHCPV4});
  ipv4Methods.push_back({tr("static address"), KESP::STATICV4});
  ipv4Methods.push_back({tr("no IPv4"), 0});
  // An interface configured for IPv6 only keeps "no IPv4" as the default;
  // anything else not configured for IPv4 is offered DHCP.
  const size_t noIpv4 = ipv4Methods.size() - 1;
  const size_t ipv4Default = indexOfMode(
      ipv4Methods, current.mode, current.configured && (current.mode & KESP::IPV6_MODES) ? noIpv4 : 0);
  AddressMode ipv4 = 0;
  if (!chooseMethod(prompter, trf("IPv4 for {1}:", {change.iface}), ipv4Methods, ipv4Default, ipv4))
    return false;
  if ((ipv4 & KESP::STATICV4) && !askStaticIpv4(current, prompter, change)) return false;

  std::vector<Method> ipv6Methods = {{tr("no IPv6"), 0}, {tr("static address"), KESP::STATICV6}};
  if (facts.system.dhcpv6Client) ipv6Methods.push_back({"DHCPv6", KESP::DHCPV6});
  ipv6Methods.push_back({tr("automatic (router advertisements)"), KESP::AUTOV6});
  AddressMode ipv6 = 0;
  for (;;) {
    const size_t ipv6Default =
        indexOfMode(ipv6Methods, current.configured ? current.mode & KESP::IPV6_MODES : 0, 0);
    if (!chooseMethod(prompter, trf("IPv6 for {1}:", {change.iface}), ipv6Methods, ipv6Default, ipv6))
      return false;
    change.mode = ipv4 | ipv6;
    if (change.mode == 0) {
      prompter.refuse(tr("the interface needs IPv4 or IPv6; choose a method for IPv6 as there is no IPv4"));
      continue;
    }
    SystemTraits traits{facts.system.flavour, facts.system.dhcpv6Client, facts.system.dhcpv4Usable};
    const std::string problem = findSystemProblem(change, traits);
    if (problem.empty()) break;
    prompter.refuse(problem);
  }
  return !(ipv6 & KESP::STATICV6) || askStaticIpv6(current, prompter, change);
}

}  // namespace

bool askInterfacePart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan) {
  std::ostream& out = prompter.out();
  if (facts.system.interfaces.empty()) {
    out << (facts.system.live ? tr("No Ethernet interfaces were found.")
                              : tr("The image configures no interfaces yet."))
        << "\n";
    if (facts.system.live) return true;
  } else {
    listInterfaces(facts, out);
  }
  std::string name;
  std::string answer;
  if (!prompter.ask(tr("Interface to configure (number or name; Enter to leave the interfaces as they are)"),
                    "",
                    [&](const std::string& text) {
                      return text.empty() ? std::string() : pickInterface(facts, text, name);
                    },
                    answer))
    return false;
  if (answer.empty()) return true;
  const InterfaceReport* found = findReport(facts, name);
  InterfaceReport unknown;
  unknown.name = name;
  plan.interface = InterfaceChange();
  plan.interface.iface = name;
  if (!askAddressing(facts, found ? *found : unknown, prompter, plan.interface)) return false;
  plan.changeInterface = true;
  return true;
}

}  // namespace kesp_config_net
