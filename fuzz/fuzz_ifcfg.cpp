// The ifcfg files of the Red Hat and SUSE families and SUSE's routes file:
// reading any text, unquoting, and writing a request into it.
//
// Properties: an unquoted value is the raw value or lies inside it; a
// written mode reads back as written with its settings; a second identical
// write gives the same lines; editing one interface's default routes in the
// shared routes file keeps every other line and reads back as written.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "fuzz_requests.h"
#include "fuzz_support.h"
#include "families/ifcfg/ifcfg_addresses.h"
#include "kesp/interface_files.h"
#include "families/suse/suse_routes.h"

using namespace KESP;

namespace {

const char* const kKeys[] = {"BOOTPROTO", "IPADDR", "NETMASK", "GATEWAY", "IPV6ADDR", "DHCPV6C",
                             "IPADDR0", "PREFIXLEN0", "HTTP_PROXY", "http_proxy"};

KeyValueFile fileOf(const std::list<std::string>& lines, char separator) {
  KeyValueFile file(separator);
  file.lines = lines;
  return file;
}

void checkUnquoting(const std::list<std::string>& lines, const std::string& key) {
  KeyValueFile file = fileOf(lines, '=');
  std::string raw;
  std::string value = "untouched";
  const bool found = getUnquotedValue(file, key, value);
  KESP_FUZZ_CHECK(found == file.get(key, raw));
  if (!found) {
    KESP_FUZZ_CHECK(value == "untouched");
    return;
  }
  // Either as it stands, or the text between an opening quote and a later one.
  KESP_FUZZ_CHECK(value == raw || (raw.size() >= value.size() + 2 &&
                                   (raw[0] == '\'' || raw[0] == '"') &&
                                   raw.compare(1, value.size(), value) == 0 &&
                                   raw[value.size() + 1] == raw[0]));
}

std::vector<std::string> sortedLines(const std::list<std::string>& lines) {
  std::vector<std::string> sorted(lines.begin(), lines.end());
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

struct Reading {
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
};

using Reader = void (*)(KeyValueFile&, Reading&);
using Writer = void (*)(KeyValueFile&, const std::string&, AddressMode, const Ipv4Settings&,
                        const Ipv6Settings&);

void readRedHat(KeyValueFile& file, Reading& reading) {
  readRedHatInterface(file, reading.mode, reading.ipv4, reading.ipv6);
}

void readSuse(KeyValueFile& file, Reading& reading) {
  readSuseInterface(file, true, reading.mode, reading.ipv4, reading.ipv6);
}

void checkFamily(const std::list<std::string>& lines, Reader readFile, Writer writeFile,
                 const std::string& iface, AddressMode mode, const kesp_fuzz::Settings& settings,
                 bool gatewaysInFile) {
  KeyValueFile original = fileOf(lines, '=');
  Reading anything;
  readFile(original, anything);

  KeyValueFile written = fileOf(lines, '=');
  writeFile(written, iface, mode, settings.ipv4, settings.ipv6);
  KeyValueFile again = fileOf(written.lines, '=');
  writeFile(again, iface, mode, settings.ipv4, settings.ipv6);
  // The same lines; the order of the keys of a sourced file carries no meaning,
  // and keys rewritten from scratch may land behind ones set in place.
  KESP_FUZZ_CHECK(sortedLines(again.lines) == sortedLines(written.lines));

  Reading reading;
  readFile(written, reading);
  KESP_FUZZ_CHECK(reading.mode == mode);
  if (mode & STATICV4) {
    KESP_FUZZ_CHECK(reading.ipv4.address == settings.ipv4.address);
    KESP_FUZZ_CHECK(reading.ipv4.netmask == settings.ipv4.netmask);
    KESP_FUZZ_CHECK(reading.ipv4.broadcast == settings.ipv4.broadcast);
    if (gatewaysInFile) KESP_FUZZ_CHECK(reading.ipv4.gateway == settings.ipv4.gateway);
  }
  if (mode & STATICV6) {
    KESP_FUZZ_CHECK(reading.ipv6.address == settings.ipv6.address);
    KESP_FUZZ_CHECK(reading.ipv6.prefix == settings.ipv6.prefix);
    if (gatewaysInFile) KESP_FUZZ_CHECK(reading.ipv6.gateway == settings.ipv6.gateway);
  }
}

void checkRoutes(const std::list<std::string>& lines, AddressMode mode,
                 const kesp_fuzz::Settings& settings) {
  KeyValueFile original = fileOf(lines, ' ');
  Reading anything;
  readSuseRoutes(original, anything.ipv4, anything.ipv6);

  KeyValueFile routes = fileOf(lines, ' ');
  writeSuseRoutes(routes, mode, settings.ipv4, settings.ipv6);
  KeyValueFile again = fileOf(routes.lines, ' ');
  writeSuseRoutes(again, mode, settings.ipv4, settings.ipv6);
  KESP_FUZZ_CHECK(again.lines == routes.lines);

  Reading reading;
  readSuseRoutes(routes, reading.ipv4, reading.ipv6);
  const bool v4 = (mode & STATICV4) != 0;
  const bool v6 = (mode & STATICV6) != 0;
  KESP_FUZZ_CHECK(reading.ipv4.gateway == (v4 ? settings.ipv4.gateway : ""));
  KESP_FUZZ_CHECK(reading.ipv6.gateway == (v6 ? settings.ipv6.gateway : ""));
}

void checkInterfaceRoutes(const std::list<std::string>& lines, const std::string& iface,
                          AddressMode mode, const kesp_fuzz::Settings& settings) {
  KeyValueFile ifcfg = fileOf(lines, '=');
  std::vector<detail::IfcfgAddress> networks = detail::suseAddresses(ifcfg).all;
  if (mode & STATICV4)
    networks.push_back({"", settings.ipv4.address,
                        detail::prefixLengthOfNetmask(settings.ipv4.netmask), false});
  if (mode & STATICV6)
    networks.push_back({"", settings.ipv6.address, settings.ipv6.prefix, true});
  KeyValueFile routes = fileOf(lines, ' ');
  detail::writeSuseInterfaceRoutes(routes, iface, networks, mode, settings.ipv4, settings.ipv6);
  KeyValueFile again = fileOf(routes.lines, ' ');
  detail::writeSuseInterfaceRoutes(again, iface, networks, mode, settings.ipv4, settings.ipv6);
  KESP_FUZZ_CHECK(again.lines == routes.lines);

  // Every line that was not the interface's stays, in its order.
  auto others = [&](const std::list<std::string>& from) {
    std::vector<std::string> kept;
    for (const std::string& line : from) {
      std::istringstream words(line);
      std::string first;
      words >> first;
      const bool isDefault = first == "default";
      const std::string value = isDefault ? line.substr(line.find("default") + 7) : "";
      if (!isDefault || !detail::isOwnDefaultRoute(value, iface, networks)) kept.push_back(line);
    }
    return kept;
  };
  KESP_FUZZ_CHECK(others(lines) == others(routes.lines));

  Reading reading;
  detail::readSuseInterfaceRoutes(routes, iface, networks, reading.ipv4, reading.ipv6);
  KESP_FUZZ_CHECK(reading.ipv4.gateway == ((mode & STATICV4) ? settings.ipv4.gateway : ""));
  KESP_FUZZ_CHECK(reading.ipv6.gateway == ((mode & STATICV6) ? settings.ipv6.gateway : ""));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kesp_fuzz::silenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string key = input.PickValueInArray(kKeys);
  const std::string iface = input.PickValueInArray(kesp_fuzz::kInterfaceNames);
  const AddressMode mode = input.PickValueInArray(kesp_fuzz::kRoundTripModes);
  const kesp_fuzz::Settings settings = kesp_fuzz::settingsAt(input.ConsumeIntegral<uint8_t>());
  const std::list<std::string> lines = kesp_fuzz::linesOf(input.ConsumeRemainingBytesAsString());

  checkUnquoting(lines, key);
  checkFamily(lines, readRedHat, writeRedHatInterface, iface, mode, settings, true);
  checkFamily(lines, readSuse, writeSuseInterface, iface, mode, settings, false);
  checkRoutes(lines, mode, settings);
  checkInterfaceRoutes(lines, iface, mode, settings);
  return 0;
}
