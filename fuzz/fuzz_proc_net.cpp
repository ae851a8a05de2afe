// The kernel's tables as text: /proc/net/if_inet6, /proc/net/route and
// /proc/net/ipv6_route. Whatever the text, every address that comes out is
// canonical text and every prefix a length the kernel can have. The library's
// own address printing writes what the C library's inet_ntop writes.

#include <arpa/inet.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>

#include "fuzz_support.h"
#include "kesp/discovery.h"
#include "model/address_text.h"
#include "system/routes.h"

using namespace KESP;

namespace {

const char* const kInterfaceNames[] = {"", "eth0", "eth1", "lo", "eth0:1"};

bool isCanonicalIpv6(const std::string& text) {
  std::string canonical;
  return makeCanonicalIPv6(text, canonical) && canonical == text;
}

bool isDottedQuad(const std::string& text) {
  in_addr address;
  char back[INET_ADDRSTRLEN];
  return inet_pton(AF_INET, text.c_str(), &address) == 1 &&
         inet_ntop(AF_INET, &address, back, sizeof back) != nullptr && text == back;
}

/// The first bytes of the input as addresses: printed as inet_ntop prints them.
void checkAddressText(const std::string& text) {
  in6_addr ipv6{};
  in_addr ipv4{};
  std::memcpy(&ipv6, text.data(), std::min(text.size(), sizeof ipv6));
  std::memcpy(&ipv4, text.data(), std::min(text.size(), sizeof ipv4));
  char expected[INET6_ADDRSTRLEN];
  KESP_FUZZ_CHECK(inet_ntop(AF_INET6, &ipv6, expected, sizeof expected) != nullptr);
  KESP_FUZZ_CHECK(detail::ipv6AddressText(ipv6) == expected);
  KESP_FUZZ_CHECK(inet_ntop(AF_INET, &ipv4, expected, sizeof expected) != nullptr);
  KESP_FUZZ_CHECK(detail::ipv4AddressText(ipv4) == expected);
}

void checkIfInet6(const std::string& text, const std::string& iface) {
  std::vector<Ipv6Settings> addresses;
  const bool converted = parseDynamicIpv6Addresses(text, iface, addresses);
  if (converted) KESP_FUZZ_CHECK(!addresses.empty() && isCanonicalIpv6(addresses.back().address));
  for (const Ipv6Settings& address : addresses) {
    KESP_FUZZ_CHECK(address.address.empty() || isCanonicalIpv6(address.address));
    KESP_FUZZ_CHECK(!address.prefix.empty() && address.prefix.size() <= 3);
    KESP_FUZZ_CHECK(std::stoul(address.prefix) <= 128);
  }
  // Every interface's list holds the named interface's addresses.
  if (!iface.empty()) {
    std::vector<Ipv6Settings> all;
    parseDynamicIpv6Addresses(text, "", all);
    KESP_FUZZ_CHECK(all.size() >= addresses.size());
  }
}

void checkRoutes(const std::string& text, const std::string& iface) {
  std::string gateway;
  const bool seen = detail::scanIpv4DefaultRoutes(text, iface, gateway);
  if (!seen) KESP_FUZZ_CHECK(gateway.empty());
  if (seen) KESP_FUZZ_CHECK(isDottedQuad(gateway));

  std::string gateway6;
  switch (detail::scanIpv6DefaultRoutes(text, iface, gateway6)) {
    case detail::Ipv6RouteScan::NoneUsed:
      KESP_FUZZ_CHECK(gateway6.empty());
      break;
    case detail::Ipv6RouteScan::Converted:
      KESP_FUZZ_CHECK(isCanonicalIpv6(gateway6));
      break;
    case detail::Ipv6RouteScan::ConversionFailed:
      KESP_FUZZ_CHECK(gateway6.empty() || isCanonicalIpv6(gateway6));
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kesp_fuzz::silenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string iface = input.PickValueInArray(kInterfaceNames);
  const std::string text = input.ConsumeRemainingBytesAsString();
  checkAddressText(text);
  checkIfInet6(text, iface);
  checkRoutes(text, iface);
  return 0;
}
