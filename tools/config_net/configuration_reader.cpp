#include "configuration_reader.h"

#include <cctype>

#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/sysroot.h"

namespace kesp_config_net {

namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

/// True for an iface line, read as the library reads it: leading blanks
/// skipped, a run of blanks standing for its last character, "iface" and a
/// space; name is then the word after it (possibly empty).
bool isIfaceLine(const std::string& line, std::string& name) {
  size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  if (line.compare(i, 5, "iface") != 0) return false;
  i += 5;
  if (i >= line.size() || !isBlank(line[i])) return false;
  while (i + 1 < line.size() && isBlank(line[i + 1])) ++i;
  if (line[i] != ' ') return false;
  const size_t start = i + 1;
  size_t end = start;
  while (end < line.size() && !isBlank(line[end])) ++end;
  name = line.substr(start, end - start);
  return true;
}

}  // namespace

std::map<std::string, KESP::TextFile> splitDebianInterfaces(const KESP::TextFile& file) {
  std::map<std::string, KESP::TextFile> parts;
  KESP::TextFile* current = nullptr;
  for (const std::string& line : file.lines) {
    std::string name;
    // Every iface line ends the part before it, one without a name too: the
    // lines under it belong to no interface.
    if (isIfaceLine(line, name)) current = name.empty() ? nullptr : &parts[name];
    if (current) current->lines.push_back(line);
  }
  return parts;
}

KESP::AddressMode withDynamicIpv6(KESP::AddressMode mode) {
  switch (mode) {
    case 0: return KESP::AUTOV6;
    case KESP::STATICV4: return KESP::STATICV4 | KESP::AUTOV6;
    case KESP::DHCPV4: return KESP::DHCPV4 | KESP::AUTOV6;
    default: return mode;
  }
}

void readConfigurations(std::vector<InterfaceReport>& reports, bool detectAutoV6) {
  KESP::TextFile file;
  if (KESP::getOsFlavour() != KESP::FLAVOUR_DEBIAN ||
      !file.load(KESP::sysPath(KESP::DEBIAN_INTERFACES_FILE))) {
    // One file per interface (or none to read): getNetwork is linear already.
    for (InterfaceReport& report : reports)
      report.configured =
          KESP::getNetwork(report.name, detectAutoV6, report.mode, report.ipv4, report.ipv6);
    return;
  }
  const std::map<std::string, KESP::TextFile> parts = splitDebianInterfaces(file);
  for (InterfaceReport& report : reports) {
    report.mode = 0;
    const auto part = parts.find(report.name);
    report.configured = part != parts.end() &&
                        KESP::readDebianInterface(part->second, report.name, report.mode,
                                                  report.ipv4, report.ipv6);
    KESP::Ipv6Settings dynamic;
    if (detectAutoV6 && KESP::getDynamicIpv6Address(report.name, dynamic))
      report.mode = withDynamicIpv6(report.mode);
  }
}

}  // namespace kesp_config_net
