// How soon a network change returns once its address is there. In a private
// network namespace, a Debian root whose fake ifup adds eth0's address 0.3 s
// after it starts (as a slow DHCP client would) and whose ifdown removes it:
//
//   ChangeWithNotifications    setNetworkAddresses, whose wait wakes on the
//                              kernel's address notifications
//   TwoSecondPollingReference  ifdown, ifup and a look every 2 seconds, the
//                              way the wait worked before, for comparison
//
// Wall-clock milliseconds per change. Needs root (network namespaces).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "change_root.h"
#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "netns.h"
#include "test_support.h"

namespace {

const char kNewAddress[] = "192.0.2.10";

struct Scene {
  kesp_test::NetNamespace ns;
  std::unique_ptr<kesp_test::ChangeRoot> root;

  Scene() {
    ns.addVeth("eth0");
    root.reset(new kesp_test::ChangeRoot("debian"));
    const std::string ip = kesp_test::ipProgram();
    root->fake("/sbin/ifdown", ip + " addr flush dev \"$1\" scope global");
    root->fake("/sbin/ifup", "(sleep 0.3; " + ip + " addr add " + kNewAddress +
                                 "/24 dev \"$1\") >/dev/null 2>&1 &");
  }
};

bool pollEveryTwoSeconds(const std::string& iface, int timeoutSeconds) {
  for (int look = 0; look < timeoutSeconds / 2 + 1; ++look) {
    KESP::Ipv4Settings ipv4;
    KESP::Ipv6Settings ipv6;
    if (KESP::getLiveAddresses(iface, ipv4, ipv6) && !ipv4.address.empty()) return true;
    sleep(2);
  }
  return false;
}

void runScene(benchmark::State& state, bool (*change)()) {
  if (!kesp_test::isRoot()) {
    state.SkipWithError("needs root to create network namespaces");
    return;
  }
  KESP::g_kesp_log_level = KESP::LOG_NONE;
  Scene scene;
  kesp_test::NetNamespace::Inside inside(scene.ns);
  bool changed = true;
  for (auto _ : state) changed = change() && changed;
  if (!changed) state.SkipWithError("the address never came: the scene is wrong");
}

bool changeWithNotifications() {
  return KESP::setNetworkAddresses("eth0", KESP::STATICV4, kNewAddress, "255.255.255.0", "", "", "",
                                   "");
}

bool changeWithTwoSecondPolling() {
  return KESP::controlInterface("eth0", false, KESP::STATICV4) &&
         KESP::controlInterface("eth0", true, KESP::STATICV4) && pollEveryTwoSeconds("eth0", 30);
}

void ChangeWithNotifications(benchmark::State& state) { runScene(state, changeWithNotifications); }
void TwoSecondPollingReference(benchmark::State& state) {
  runScene(state, changeWithTwoSecondPolling);
}

BENCHMARK(ChangeWithNotifications)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(TwoSecondPollingReference)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
