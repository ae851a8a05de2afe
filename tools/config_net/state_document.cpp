#include "state_document.h"

#include <functional>

#include "input_checks.h"
#include "json_writer.h"
#include "kesp/util.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

using Problems = std::vector<std::string>;

/// More interfaces than any system configures.
const size_t kMaxDocumentInterfaces = 1024;

/// The members a part of the document may have, each with its reader.
using MemberReader = std::function<void(const JsonValue&, const std::string& path)>;
struct MemberRule {
  const char* name;
  MemberReader read;
};

/// The key path of a member: its name is the document's text, shown escaped.
std::string join(const std::string& path, const std::string& name) {
  const std::string shown = KESP::terminalSafe(name);
  return path.empty() ? shown : path + "." + shown;
}

void note(Problems& problems, const std::string& path, const std::string& problem) {
  if (!problem.empty())
    problems.push_back((path.empty() ? tr("the document") : path) + ": " + problem);
}

bool expectType(const JsonValue& value, JsonValue::Type type, const std::string& path,
                Problems& problems) {
  if (value.type == type) return true;
  note(problems, path, trf("must be {1}, not {2}", {jsonTypeName(type), jsonTypeName(value.type)}));
  return false;
}

/// Reads an object's members by the rules; unknown members are faults.
void readMembers(const JsonValue& object, const std::string& path,
                 const std::vector<MemberRule>& rules, Problems& problems) {
  if (!expectType(object, JsonValue::Object, path, problems)) return;
  for (const auto& member : object.members) {
    const MemberRule* rule = nullptr;
    for (const MemberRule& candidate : rules)
      if (member.first == candidate.name) rule = &candidate;
    if (rule)
      rule->read(member.second, join(path, member.first));
    else
      note(problems, path.empty() ? quoteForMessage(member.first)
                                   : path + "." + quoteForMessage(member.first),
           tr("unknown key"));
  }
}

void readString(const JsonValue& value, const std::string& path, std::string& out,
                Problems& problems) {
  if (expectType(value, JsonValue::String, path, problems)) out = value.text;
}

/// A number, or a string of digits: prefixes and ports are written either way.
void readNumberText(const JsonValue& value, const std::string& path, std::string& out,
                    Problems& problems) {
  if (value.type == JsonValue::Number || value.type == JsonValue::String)
    out = value.text;
  else
    note(problems, path, trf("must be a number, not {1}", {jsonTypeName(value.type)}));
}

struct AddressPart {
  std::string address, prefix, gateway;
  bool given = false;
};

void readAddressPart(const JsonValue& value, const std::string& path, AddressPart& part,
                     Problems& problems) {
  part.given = true;
  readMembers(
      value, path,
      {{"address", [&](const JsonValue& v,
                       const std::string& p) { readString(v, p, part.address, problems); }},
       {"prefix", [&](const JsonValue& v,
                      const std::string& p) { readNumberText(v, p, part.prefix, problems); }},
       {"gateway", [&](const JsonValue& v,
                       const std::string& p) { readString(v, p, part.gateway, problems); }}},
      problems);
}

void checkIpv4Part(const AddressPart& part, const std::string& path, KESP::DesiredInterface& out,
                   Problems& problems) {
  const size_t before = problems.size();
  if (part.address.empty())
    note(problems, join(path, "address"), tr("STATICV4 needs an IPv4 address"));
  else
    note(problems, join(path, "address"), checkIpv4Address(part.address));
  std::string netmask;
  if (part.prefix.empty())
    note(problems, join(path, "prefix"), tr("STATICV4 needs a prefix length"));
  else if (!netmaskFromText(part.prefix, netmask))
    note(problems, join(path, "prefix"),
         trf("{1} is no prefix length from 0 to 32", {quoteForMessage(part.prefix)}));
  if (problems.size() != before) return;
  note(problems, join(path, "address"), checkIpv4HostInNetwork(part.address, netmask));
  if (!part.gateway.empty() && problems.size() == before)
    note(problems, join(path, "gateway"), checkIpv4Gateway(part.gateway, part.address, netmask));
  out.ipv4Address = part.address;
  out.ipv4Netmask = netmask;
  out.ipv4Gateway = part.gateway;
}

void checkIpv6Part(const AddressPart& part, const std::string& path, KESP::DesiredInterface& out,
                   Problems& problems) {
  const size_t before = problems.size();
  const std::string prefix = part.prefix.empty() ? "64" : part.prefix;
  if (part.address.empty())
    note(problems, join(path, "address"), tr("STATICV6 needs an IPv6 address"));
  else
    note(problems, join(path, "address"), checkIpv6Address(part.address));
  note(problems, join(path, "prefix"), checkIpv6Prefix(prefix));
  if (!part.gateway.empty() && problems.size() == before)
    note(problems, join(path, "gateway"), checkIpv6Gateway(part.gateway, part.address));
  out.ipv6Address = part.address;
  out.ipv6Prefix = prefix;
  out.ipv6Gateway = part.gateway;
}

void readInterface(const std::string& name, const JsonValue& value, const std::string& path,
                   KESP::DesiredState& state, Problems& problems) {
  KESP::DesiredInterface wanted;
  wanted.name = name;
  std::string mode;
  bool modeGiven = false;
  AddressPart ipv4, ipv6;
  const size_t before = problems.size();
  note(problems, path, checkInterfaceName(name));
  readMembers(value, path,
              {{"mode",
                [&](const JsonValue& v, const std::string& p) {
                  modeGiven = true;
                  readString(v, p, mode, problems);
                }},
               {"ipv4", [&](const JsonValue& v,
                            const std::string& p) { readAddressPart(v, p, ipv4, problems); }},
               {"ipv6", [&](const JsonValue& v,
                            const std::string& p) { readAddressPart(v, p, ipv6, problems); }}},
              problems);
  if (problems.size() != before) return;
  if (!modeGiven) return note(problems, join(path, "mode"), tr("missing"));
  if (!modeFromName(mode, wanted.mode))
    return note(problems, join(path, "mode"),
                trf("{1} is not a mode; use one of {2}", {quoteForMessage(mode), modeNameList()}));
  const struct {
    const AddressPart& part;
    KESP::AddressMode staticMode;
    const char* key;
    void (*check)(const AddressPart&, const std::string&, KESP::DesiredInterface&, Problems&);
  } families[] = {{ipv4, KESP::STATICV4, "ipv4", checkIpv4Part},
                  {ipv6, KESP::STATICV6, "ipv6", checkIpv6Part}};
  for (const auto& family : families) {
    const std::string familyPath = join(path, family.key);
    if (wanted.mode & family.staticMode)
      family.check(family.part, familyPath, wanted, problems);
    else if (!family.part.address.empty() || !family.part.prefix.empty() ||
             !family.part.gateway.empty())
      note(problems, familyPath,
           trf("addresses are only used with {1} in the mode", {modeName(family.staticMode)}));
  }
  if (problems.size() == before) state.interfaces.push_back(wanted);
}

void readNameServers(const JsonValue& value, const std::string& path, KESP::DesiredState& state,
                     Problems& problems) {
  if (!expectType(value, JsonValue::Array, path, problems)) return;
  const size_t before = problems.size();
  std::vector<std::string> servers;
  for (size_t i = 0; i < value.items.size(); ++i) {
    const std::string itemPath = path + "[" + std::to_string(i) + "]";
    std::string server;
    readString(value.items[i], itemPath, server, problems);
    note(problems, itemPath,
         value.items[i].type == JsonValue::String ? checkNameServer(server) : "");
    servers.push_back(server);
  }
  if (problems.size() == before) note(problems, path, checkNameServers(servers));
  state.managesNameServers = true;
  state.nameServers = servers;
}

void readProxy(const JsonValue& value, const std::string& path, StateDocument& read,
               Problems& problems) {
  KESP::DesiredProxy& proxy = read.state.proxy;
  auto text = [&](std::string& out) {
    return [&](const JsonValue& v, const std::string& p) { readString(v, p, out, problems); };
  };
  readMembers(value, path,
              {{"host", text(proxy.host)},
               {"port", [&](const JsonValue& v,
                            const std::string& p) { readNumberText(v, p, proxy.port, problems); }},
               {"user", text(proxy.user)},
               {"password_file", text(read.passwordFile)},
               {"password",
                [&](const JsonValue&, const std::string& p) {
                  note(problems, p,
                       tr("a password is never taken from the document: give "
                          "password_file or --password-stdin"));
                }}},
              problems);
  read.state.managesProxy = true;
  if (proxy.host.empty()) return;
  note(problems, join(path, "host"), checkProxyHost(proxy.host));
  if (!proxy.port.empty()) note(problems, join(path, "port"), checkPort(proxy.port));
  if (!proxy.user.empty()) note(problems, join(path, "user"), checkProxyUser(proxy.user));
}

/// Digits as a number (as prefixes and ports are written), anything else as text.
void numberOrText(JsonWriter& json, const std::string& text) {
  if (!text.empty() && text.size() < 10 &&
      text.find_first_not_of("0123456789") == std::string::npos)
    json.value(std::stol(text));
  else
    json.value(text);
}

}  // namespace

std::vector<std::string> readStateDocument(const JsonValue& document, StateDocument& read) {
  read = StateDocument();
  KESP::DesiredState& state = read.state;
  Problems problems;
  readMembers(
      document, "",
      {{"interfaces",
        [&](const JsonValue& v, const std::string& p) {
          if (!expectType(v, JsonValue::Object, p, problems)) return;
          // Planning reads every interface's files afresh: tens of thousands
          // of made-up names would keep the command busy for minutes.
          if (v.members.size() > kMaxDocumentInterfaces)
            return note(problems, p,
                        trf("more than {1} interfaces", {std::to_string(kMaxDocumentInterfaces)}));
          for (const auto& member : v.members)
            readInterface(member.first, member.second, join(p, member.first), state, problems);
        }},
       {"dns",
        [&](const JsonValue& v, const std::string& p) { readNameServers(v, p, state, problems); }},
       {"hostname",
        [&](const JsonValue& v, const std::string& p) {
          state.managesHostName = true;
          readString(v, p, state.hostName, problems);
          if (v.type == JsonValue::String) note(problems, p, checkHostName(state.hostName));
        }},
       {"proxy",
        [&](const JsonValue& v, const std::string& p) { readProxy(v, p, read, problems); }}},
      problems);
  return problems;
}

std::vector<std::string> findStateSystemProblems(const KESP::DesiredState& state,
                                                 const SystemTraits& traits) {
  Problems problems;
  for (const KESP::DesiredInterface& wanted : state.interfaces) {
    InterfaceChange change;
    change.iface = wanted.name;
    change.mode = wanted.mode;
    note(problems, join(join("interfaces", wanted.name), "mode"), findSystemProblem(change, traits));
  }
  return problems;
}

std::string renderStateDocument(const KESP::DesiredState& state) {
  JsonWriter json;
  json.beginObject().key("interfaces").beginObject();
  for (const KESP::DesiredInterface& iface : state.interfaces) {
    json.key(iface.name).beginObject().key("mode").value(modeName(iface.mode));
    if (iface.mode & KESP::STATICV4) {
      const int length = netmaskPrefixLength(iface.ipv4Netmask);
      json.key("ipv4").beginObject().key("address").value(iface.ipv4Address).key("prefix");
      if (length >= 0)
        json.value(static_cast<long>(length));
      else
        json.value(iface.ipv4Netmask);
      if (!iface.ipv4Gateway.empty()) json.key("gateway").value(iface.ipv4Gateway);
      json.endObject();
    }
    if (iface.mode & KESP::STATICV6) {
      json.key("ipv6").beginObject().key("address").value(iface.ipv6Address).key("prefix");
      numberOrText(json, iface.ipv6Prefix);
      if (!iface.ipv6Gateway.empty()) json.key("gateway").value(iface.ipv6Gateway);
      json.endObject();
    }
    json.endObject();
  }
  json.endObject();
  if (state.managesNameServers) json.key("dns").stringArray(state.nameServers);
  if (state.managesHostName) json.key("hostname").value(state.hostName);
  if (state.managesProxy) {
    json.key("proxy").beginObject().key("host").value(state.proxy.host);
    if (!state.proxy.host.empty()) {
      if (!state.proxy.port.empty()) numberOrText(json.key("port"), state.proxy.port);
      if (!state.proxy.user.empty()) json.key("user").value(state.proxy.user);
    }
    json.endObject();
  }
  json.endObject();
  return json.text();
}

}  // namespace kesp_config_net
