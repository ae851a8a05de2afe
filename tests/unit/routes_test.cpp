#include <gtest/gtest.h>

#include "system/routes.h"

using namespace KESP::detail;

namespace {

const char kRouteHeader[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

std::string route(const std::string& dev, const std::string& dest, const std::string& gw,
                  const std::string& flags) {
  return dev + "\t" + dest + "\t" + gw + "\t" + flags + "\t0\t0\t0\t00000000\t0\t0\t0\n";
}

TEST(Ipv4RoutesTest, OwnGatewayWinsOtherIsFallback) {
  struct Case {
    std::string table, iface;
    bool seen;
    std::string gateway;
  } cases[] = {
      // 0101A8C0 is 192.168.1.1 as the kernel prints it on a little-endian host.
      {route("eth1", "00000000", "0101A8C0", "0003") + route("eth0", "00000000", "FE01A8C0", "0003"),
       "eth0", true, "192.168.1.254"},
      {route("eth1", "00000000", "0101A8C0", "0003"), "eth0", true, "192.168.1.1"},
      {route("eth0", "00000000", "0101A8C0", "0003") + route("eth0", "00000000", "0201A8C0", "0003"),
       "eth0", true, "192.168.1.1"},
      {route("eth0", "00000000", "00000000", "0001"), "eth0", false, ""},  // device route
      {route("eth0", "0001A8C0", "0101A8C0", "0003"), "eth0", false, ""},  // not default
      {route("eth0", "00000000", "0101A8C0", "0002"), "eth0", false, ""},  // not up
      {"", "eth0", false, ""},
      {"eth0 garbage\n", "eth0", false, ""},
  };
  for (const Case& c : cases) {
    std::string gateway;
    EXPECT_EQ(scanIpv4DefaultRoutes(kRouteHeader + c.table, c.iface, gateway), c.seen) << c.table;
    EXPECT_EQ(gateway, c.gateway) << c.table;
  }
}

std::string route6(const std::string& dest, const std::string& next, const std::string& flags,
                   const std::string& dev) {
  return dest + " 00 00000000000000000000000000000000 00 " + next + " 00000400 00000001 00000000 " +
         flags + " " + dev + "\n";
}

const std::string kDefault(32, '0');
const std::string kHopA = "fe800000000000000000000000000001";
const std::string kHopB = "20010db8000000000000000000000001";

TEST(Ipv6RoutesTest, OwnGatewayWinsOtherIsFallback) {
  struct Case {
    std::string table, iface;
    Ipv6RouteScan result;
    std::string gateway;
  } cases[] = {
      {route6(kDefault, kHopA, "00000003", "eth1") + route6(kDefault, kHopB, "00000003", "eth0"),
       "eth0", Ipv6RouteScan::Converted, "2001:db8::1"},
      {route6(kDefault, kHopA, "00000003", "eth1"), "eth0", Ipv6RouteScan::Converted, "fe80::1"},
      // Long device names are compared whole.
      {route6(kDefault, kHopA, "00000003", "eth1") + route6(kDefault, kHopB, "00000003", "enp0s31f6"),
       "enp0s31f6", Ipv6RouteScan::Converted, "2001:db8::1"},
      {route6(kDefault, kHopB, "00200001", "eth0"), "eth0", Ipv6RouteScan::NoneUsed, ""},  // no gateway flag
      {route6("20010db8000000000000000000000000", kHopB, "00000003", "eth0"), "eth0",
       Ipv6RouteScan::NoneUsed, ""},
      {route6(kDefault, "zz", "00000003", "eth0"), "eth0", Ipv6RouteScan::ConversionFailed, ""},
      {"short line\n", "eth0", Ipv6RouteScan::NoneUsed, ""},
  };
  for (const Case& c : cases) {
    std::string gateway;
    EXPECT_EQ(scanIpv6DefaultRoutes(c.table, c.iface, gateway), c.result) << c.table;
    EXPECT_EQ(gateway, c.gateway) << c.table;
  }
}

}  // namespace
