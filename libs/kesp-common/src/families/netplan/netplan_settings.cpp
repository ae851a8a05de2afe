// Reading and writing an interface's addresses, gateways and modes in
// netplan's YAML.

#include "families/netplan/netplan_settings.h"

#include <arpa/inet.h>


#include "model/ipv4_prefix.h"

namespace KESP {
namespace detail {
namespace {

// What the tool sets; everything else of a definition is the administrator's.
const char* const kOwnedKeys[] = {"match",     "set-name", "dhcp4",   "dhcp6",
                                  "accept-ra", "addresses", "gateway4", "gateway6"};

bool isDefaultDestination(const YamlNode* to) {
  return to && to->isScalar() &&
         (to->value == "default" || to->value == "0.0.0.0/0" || to->value == "::/0");
}

bool isDefaultRoute(const YamlNode& route) { return isDefaultDestination(route.find("to")); }

bool isIpv6Text(const std::string& text) { return text.find(':') != std::string::npos; }

/// The text of an address item: "a/len", or the key of {"a/len": {lifetime…}}.
std::string addressText(const YamlNode& item) {
  if (item.isScalar()) return item.value;
  if (item.isMapping() && !item.entries.empty()) return item.entries.front().first;
  return std::string();
}

void readAddresses(const YamlNode* addresses, AddressMode& mode, Ipv4Settings& ipv4,
                   Ipv6Settings& ipv6, std::vector<std::string>& further) {
  if (!addresses || !addresses->isSequence()) return;
  for (const YamlNode& item : addresses->items) {
    const std::string text = addressText(item);
    const std::string::size_type slash = text.rfind('/');
    if (isIpv6Text(text) && !(mode & STATICV6) && slash != std::string::npos) {
      mode |= STATICV6;
      ipv6.address = text.substr(0, slash);
      ipv6.prefix = text.substr(slash + 1);
    } else if (!isIpv6Text(text) && !(mode & STATICV4) &&
               splitAddressPrefix(text, ipv4.address, ipv4.netmask)) {
      mode |= STATICV4;
    } else if (!text.empty()) {
      further.push_back(text);
    }
  }
}

void readGateways(const YamlNode& definition, Ipv4Settings& ipv4, Ipv6Settings& ipv6) {
  const YamlNode* gateway4 = definition.find("gateway4");
  const YamlNode* gateway6 = definition.find("gateway6");
  if (gateway4 && gateway4->isScalar()) ipv4.gateway = gateway4->value;
  if (gateway6 && gateway6->isScalar()) ipv6.gateway = gateway6->value;
  const YamlNode* routes = definition.find("routes");
  if (!routes || !routes->isSequence()) return;
  for (const YamlNode& route : routes->items) {
    const YamlNode* via = route.find("via");
    if (!isDefaultRoute(route) || !via || !via->isScalar()) continue;
    std::string& gateway = isIpv6Text(via->value) ? ipv6.gateway : ipv4.gateway;
    if (gateway.empty()) gateway = via->value;
  }
}

/// The prefix length of a dotted netmask, or the text itself when it is one.
std::string prefixLength(const std::string& netmask) {
  in_addr mask;
  if (inet_pton(AF_INET, netmask.c_str(), &mask) != 1) return netmask;
  return std::to_string(countBits(ntohl(mask.s_addr)));
}

/// Whether a definition other than skipId declares an IPv4 (or IPv6) default
/// route without a metric: a second one in the same table is a conflict to netplan.
bool otherUnmeteredDefault(const std::vector<NetplanDefinition>& definitions,
                           const std::string& skipId, bool ipv6) {
  for (const NetplanDefinition& definition : definitions) {
    if (definition.id == skipId) continue;
    if (definition.node.find(ipv6 ? "gateway6" : "gateway4")) return true;
    const YamlNode* routes = definition.node.find("routes");
    if (!routes || !routes->isSequence()) continue;
    for (const YamlNode& route : routes->items) {
      const YamlNode* via = route.find("via");
      const std::string to = route.find("to") ? route.find("to")->value : std::string();
      const bool routeIpv6 = (via && isIpv6Text(via->value)) || to == "::/0";
      if (isDefaultRoute(route) && routeIpv6 == ipv6 && !route.find("metric")) return true;
    }
  }
  return false;
}

void addDefaultRoute(YamlNode& routes, const std::string& gateway, bool withMetric, bool ipv6) {
  YamlNode route = YamlNode::mapping();
  route.at("to") = YamlNode::scalar("default");
  route.at("via") = YamlNode::scalar(gateway);
  // The kernel's own default metric: the route behaves as one without any.
  if (withMetric) route.at("metric") = YamlNode::scalar(ipv6 ? "1024" : "0");
  routes.items.push_back(route);
}

/// Replaces the definition's default routes (and gateway4/gateway6) with
/// the given gateways; empty ones add none.
void placeDefaultRoutes(YamlNode& definition, const std::vector<NetplanDefinition>& definitions,
                        const std::string& id, const std::string& gateway4,
                        const std::string& gateway6) {
  definition.erase("gateway4");
  definition.erase("gateway6");
  YamlNode routes = YamlNode::sequence();
  if (const YamlNode* kept = definition.find("routes"))
    for (const YamlNode& route : kept->items)
      if (!isDefaultRoute(route)) routes.items.push_back(route);
  if (!gateway4.empty())
    addDefaultRoute(routes, gateway4, otherUnmeteredDefault(definitions, id, false), false);
  if (!gateway6.empty())
    addDefaultRoute(routes, gateway6, otherUnmeteredDefault(definitions, id, true), true);
  definition.erase("routes");
  if (!routes.items.empty()) definition.at("routes") = routes;
}

YamlNode& ownDevices(YamlNode& ownDocument) {
  YamlNode& network = ownDocument.at("network");
  if (!network.find("version")) network.at("version") = YamlNode::scalar("2");
  return network.at("ethernets");
}

/// netplan puts a VLAN on the definition its `link` names, and networkd uses
/// the appliance's definition of iface, not that one: while the appliance's
/// stands (ownKept), each VLAN on iface is linked to it in the appliance's
/// file; when it goes, that link goes too and the VLAN's own file has its say again.
void keepVlansOnInterface(YamlNode& ownDocument, const std::vector<NetplanDefinition>& definitions,
                          const std::string& iface, bool ownKept) {
  const std::string id = netplanOwnId(iface);
  YamlNode& network = ownDocument.at("network");
  for (const NetplanDefinition& vlan : definitions) {
    const YamlNode* link = vlan.node.find("link");
    if (vlan.type != "vlans" || !link || !link->isScalar()) continue;
    bool onIface = link->value == id;
    for (const NetplanDefinition& linked : definitions)
      if (linked.id == link->value && linked.id != id && claimsInterface(linked, iface))
        onIface = true;
    if (!onIface) continue;
    if (ownKept) {
      network.at("vlans").at(vlan.id).at("link") = YamlNode::scalar(id);
      continue;
    }
    YamlNode* vlans = network.find("vlans");
    YamlNode* own = vlans ? vlans->find(vlan.id) : nullptr;
    if (!own) continue;
    own->erase("link");
    if (own->entries.empty()) vlans->erase(vlan.id);
    if (vlans->entries.empty()) network.erase("vlans");
  }
}

}  // namespace

void readNetplanDefinition(const YamlNode& definition, AddressMode& mode, Ipv4Settings& ipv4,
                           Ipv6Settings& ipv6, std::vector<std::string>& further) {
  if (isNetplanTrue(definition.find("dhcp4"))) mode |= DHCPV4;
  if (isNetplanTrue(definition.find("dhcp6")))
    mode |= DHCPV6;
  else if (isNetplanTrue(definition.find("accept-ra")))
    mode |= AUTOV6;
  readAddresses(definition.find("addresses"), mode, ipv4, ipv6, further);
  readGateways(definition, ipv4, ipv6);
}

YamlNode& netplanOwnDefinition(YamlNode& ownDocument,
                               const std::vector<NetplanDefinition>& definitions,
                               const std::string& iface) {
  const std::string id = netplanOwnId(iface);
  // Before the reference into the document is taken: this may add to it.
  ownDevices(ownDocument);
  keepVlansOnInterface(ownDocument, definitions, iface, true);
  YamlNode& devices = ownDevices(ownDocument);
  if (YamlNode* existing = devices.find(id)) return *existing;
  YamlNode definition = YamlNode::mapping();
  if (const NetplanDefinition* inForce = netplanWinner(definitions, iface, id)) {
    // The copy configures the interface as the definition in force did.
    definition = inForce->node;
    definition.erase("match");
    definition.erase("set-name");
    Ipv4Settings ipv4;
    Ipv6Settings ipv6;
    readGateways(definition, ipv4, ipv6);
    placeDefaultRoutes(definition, definitions, id, ipv4.gateway, ipv6.gateway);
  }
  YamlNode match = YamlNode::mapping();
  match.at("name") = YamlNode::scalar(iface);
  definition.entries.insert(definition.entries.begin(), {"match", match});
  devices.at(id) = definition;
  return devices.at(id);
}

void writeNetplanInterface(YamlNode& ownDocument, const std::vector<NetplanDefinition>& definitions,
                           const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
                           const Ipv6Settings& ipv6) {
  const std::string id = netplanOwnId(iface);
  if (mode == 0 && !netplanWinner(definitions, iface, id)) {
    ownDevices(ownDocument).erase(id);
    keepVlansOnInterface(ownDocument, definitions, iface, false);
    return;
  }
  YamlNode& definition = netplanOwnDefinition(ownDocument, definitions, iface);
  for (const char* key : kOwnedKeys)
    if (std::string(key) != "match") definition.erase(key);
  if (mode & DHCPV4) definition.at("dhcp4") = YamlNode::scalar("true");
  if (mode & DHCPV6) definition.at("dhcp6") = YamlNode::scalar("true");
  if (mode & AUTOV6) definition.at("accept-ra") = YamlNode::scalar("true");
  YamlNode addresses = YamlNode::sequence();
  if (mode & STATICV4)
    addresses.items.push_back(YamlNode::scalar(ipv4.address + "/" + prefixLength(ipv4.netmask)));
  if (mode & STATICV6) addresses.items.push_back(YamlNode::scalar(ipv6.address + "/" + ipv6.prefix));
  if (!addresses.items.empty()) definition.at("addresses") = addresses;
  placeDefaultRoutes(definition, definitions, id, (mode & STATICV4) ? ipv4.gateway : "",
                     (mode & STATICV6) ? ipv6.gateway : "");
}

std::vector<std::string> netplanNameServersOf(const YamlNode& definition) {
  std::vector<std::string> servers;
  const YamlNode* nameservers = definition.find("nameservers");
  const YamlNode* addresses = nameservers ? nameservers->find("addresses") : nullptr;
  if (addresses && addresses->isSequence())
    for (const YamlNode& item : addresses->items)
      if (item.isScalar()) servers.push_back(item.value);
  return servers;
}

}  // namespace detail
}  // namespace KESP
