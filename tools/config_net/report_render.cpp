#include "report_render.h"

#include <ostream>
#include <sstream>

#include "input_checks.h"
#include "interface_change.h"
#include "json_writer.h"

#include "translate.h"

namespace kesp_config_net {

namespace {

/// "192.0.2.10/24", or "192.0.2.10 netmask X" when the netmask has no length.
std::string ipv4WithLength(const KESP::Ipv4Settings& ipv4) {
  if (ipv4.netmask.empty()) return ipv4.address;
  const int length = netmaskPrefixLength(ipv4.netmask);
  if (length < 0) return ipv4.address + " netmask " + ipv4.netmask;
  return ipv4.address + "/" + std::to_string(length);
}

std::string ipv6WithLength(const KESP::Ipv6Settings& ipv6) {
  return ipv6.prefix.empty() ? ipv6.address : ipv6.address + "/" + ipv6.prefix;
}

std::string withGateway(const std::string& address, const std::string& gateway) {
  return gateway.empty() ? address : address + " gateway " + gateway;
}

void writeIpv4(JsonWriter& json, const KESP::Ipv4Settings& ipv4, bool withGatewayField) {
  json.beginObject();
  json.key("address").valueOrNull(ipv4.address);
  json.key("netmask").valueOrNull(ipv4.netmask);
  const int length = netmaskPrefixLength(ipv4.netmask);
  json.key("prefix");
  if (length >= 0) json.value(static_cast<long>(length)); else json.null();
  json.key("broadcast").valueOrNull(ipv4.broadcast);
  if (withGatewayField) json.key("gateway").valueOrNull(ipv4.gateway);
  json.endObject();
}

void writeIpv6(JsonWriter& json, const KESP::Ipv6Settings& ipv6, bool withGatewayField) {
  json.beginObject();
  json.key("address").valueOrNull(ipv6.address);
  json.key("prefix");
  if (!ipv6.prefix.empty() && checkIpv6Prefix(ipv6.prefix).empty())
    json.value(std::stol(ipv6.prefix));
  else
    json.valueOrNull(ipv6.prefix);
  if (withGatewayField) json.key("gateway").valueOrNull(ipv6.gateway);
  json.endObject();
}

void writeInterface(JsonWriter& json, const InterfaceReport& report) {
  json.beginObject();
  json.key("name").value(report.name);
  json.key("configured").value(report.configured);
  json.key("mode").value(modeName(report.mode));
  json.key("ipv4");
  writeIpv4(json, report.ipv4, true);
  json.key("ipv6");
  writeIpv6(json, report.ipv6, true);
  json.key("further_addresses").stringArray(report.furtherAddresses);
  json.key("present");
  if (report.live) json.value(report.present); else json.null();
  json.key("link");
  if (report.live && report.present) {
    json.beginObject();
    json.key("state").value(report.link.adminUp ? "up" : "down");
    json.key("carrier").value(report.link.carrier);
    json.key("running").value(report.link.running);
    json.key("mac").valueOrNull(report.link.mac);
    json.endObject();
  } else {
    json.null();
  }
  json.key("live_ipv4");
  if (report.live && !report.liveIpv4.address.empty())
    writeIpv4(json, report.liveIpv4, false);
  else
    json.null();
  json.key("live_ipv6");
  if (report.live && !report.liveIpv6.address.empty())
    writeIpv6(json, report.liveIpv6, false);
  else
    json.null();
  json.endObject();
}

}  // namespace

std::string configuredModeText(const InterfaceReport& report) {
  if (!report.configured)
    return report.mode ? trf("not configured ({1} seen)", {modeName(report.mode)}) : tr("not configured");
  return report.mode ? modeName(report.mode) : tr("configured without addresses");
}

std::string liveAddressText(const InterfaceReport& report) {
  if (!report.live) return "";
  if (!report.present) return tr("link not present");
  std::string text;
  if (!report.liveIpv4.address.empty()) text = ipv4WithLength(report.liveIpv4);
  if (!report.liveIpv6.address.empty())
    text += (text.empty() ? "" : " ") + ipv6WithLength(report.liveIpv6);
  return text.empty() ? tr("no address") : text;
}

std::string linkStateText(const InterfaceReport& report) {
  if (!report.live || !report.present) return "";
  std::string text = report.link.adminUp ? tr("up") : tr("down");
  text += report.link.carrier ? tr(", carrier") : tr(", no carrier");
  if (report.link.adminUp && report.link.carrier && !report.link.running) text += tr(", not running");
  if (!report.link.mac.empty()) text += trf(", MAC {1}", {report.link.mac});
  return text;
}

void ShowWriter::start(const SystemReport& facts) {
  if (!json_) {
    out_ << "interface files: " << flavourName(facts.flavour) << "\n";
    return;
  }
  JsonWriter json;
  json.beginObject();
  json.key("family").value(flavourKey(facts.flavour));
  json.key("live").value(facts.live);
  json.key("dhcpv6_client").value(facts.dhcpv6Client);
  json.key("unfinished_change").value(facts.unfinishedChange);
  json.key("interfaces").beginArray();
  std::string head = json.text();
  head.pop_back();  // its final newline: the document goes on
  out_ << head;
}

void ShowWriter::add(const InterfaceReport& item) {
  if (json_) {
    JsonWriter json;
    writeInterface(json, item);
    std::string text = json.text();
    text.pop_back();
    out_ << (first_ ? "" : ",") << text;
    first_ = false;
    return;
  }
  out_ << item.name << ": " << configuredModeText(item) << "\n";
  if (item.mode & KESP::STATICV4)
    out_ << "    ipv4: " << withGateway(ipv4WithLength(item.ipv4), item.ipv4.gateway) << "\n";
  if (item.mode & KESP::STATICV6)
    out_ << "    ipv6: " << withGateway(ipv6WithLength(item.ipv6), item.ipv6.gateway) << "\n";
  for (const std::string& address : item.furtherAddresses) out_ << "    further: " << address << "\n";
  if (item.live) out_ << "    live: " << liveAddressText(item) << "\n";
  if (item.live && item.present) out_ << "    link: " << linkStateText(item) << "\n";
}

void ShowWriter::finish(const SystemReport& facts) {
  if (json_) {
    out_ << "]}\n";
    return;
  }
  if (facts.unfinishedChange)
    out_ << tr("unfinished change: a change was cut off half-way and its journal waits; "
               "'kesp_config_net recover' puts its files back")
         << "\n";
}

namespace {

std::string renderShow(const SystemReport& report, bool json) {
  std::ostringstream out;
  ShowWriter writer(out, json);
  writer.start(report);
  for (const InterfaceReport& item : report.interfaces) writer.add(item);
  writer.finish(report);
  return out.str();
}

}  // namespace

std::string renderShowText(const SystemReport& report) { return renderShow(report, false); }

std::string renderShowJson(const SystemReport& report) { return renderShow(report, true); }

std::string renderNameServersText(const NameServerView& view) {
  std::string text = view.servers.empty() ? "no name servers\n" : "";
  for (const std::string& server : view.servers) text += "nameserver " + server + "\n";
  text += "owner: " + view.owner + "\n";
  if (!view.source.empty()) text += "source: " + view.source + "\n";
  return text;
}

std::string renderNameServersJson(const NameServerView& view) {
  JsonWriter json;
  json.beginObject().key("nameservers").stringArray(view.servers);
  json.key("owner").value(view.owner).key("source").valueOrNull(view.source).endObject();
  return json.text();
}

std::string renderGatewaysText(const std::string& ipv4, const std::string& ipv6) {
  return "ipv4: " + (ipv4.empty() ? std::string("none") : ipv4) + "\n" +
         "ipv6: " + (ipv6.empty() ? std::string("none") : ipv6) + "\n";
}

std::string renderGatewaysJson(const std::string& iface, const std::string& ipv4,
                               const std::string& ipv6) {
  JsonWriter json;
  json.beginObject();
  json.key("interface").value(iface);
  json.key("ipv4_gateway").valueOrNull(ipv4);
  json.key("ipv6_gateway").valueOrNull(ipv6);
  json.endObject();
  return json.text();
}

std::string renderProxyText(const ProxyView& proxy) {
  if (proxy.host.empty()) return "no proxy\n";
  std::string text = "host: " + proxy.host + "\nport: " + proxy.port + "\n";
  if (!proxy.user.empty()) {
    text += "user: " + proxy.user + "\n";
    text += std::string("password: ") + (proxy.passwordSet ? "set" : "none") + "\n";
  }
  return text;
}

std::string renderProxyJson(const ProxyView& proxy) {
  JsonWriter json;
  json.beginObject();
  json.key("enabled").value(!proxy.host.empty());
  json.key("host").valueOrNull(proxy.host);
  json.key("port");
  if (!proxy.port.empty() && checkPort(proxy.port).empty())
    json.value(std::stol(proxy.port));
  else
    json.valueOrNull(proxy.port);
  json.key("user").valueOrNull(proxy.user);
  json.key("password_set").value(proxy.passwordSet);
  json.endObject();
  return json.text();
}

std::string renderHostNameText(const std::string& name) { return name + "\n"; }

std::string renderHostNameJson(const std::string& name) {
  JsonWriter json;
  json.beginObject().key("hostname").value(name).endObject();
  return json.text();
}

}  // namespace kesp_config_net
