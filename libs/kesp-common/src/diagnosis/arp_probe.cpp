// ARP through a raw packet socket of our own: RFC 5227's probe for an
// address in use, and the question whether the gateway is there.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/if_ether.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "diagnosis/probes.h"
#include "system/address_entries.h"
#include "files/scoped_fd.h"

namespace KESP {
namespace detail {

namespace {

using Clock = std::chrono::steady_clock;

bool parseMac(const std::string& text, unsigned char mac[ETH_ALEN]) {
  unsigned parts[ETH_ALEN];
  if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x", &parts[0], &parts[1], &parts[2],
                  &parts[3], &parts[4], &parts[5]) != ETH_ALEN)
    return false;
  for (int i = 0; i < ETH_ALEN; ++i) mac[i] = static_cast<unsigned char>(parts[i]);
  return true;
}

std::string macText(const unsigned char mac[ETH_ALEN]) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

/// Whether packet is ARP from another machine saying where target is. A
/// second interface of this machine on the same segment answers for our
/// own addresses too; it is no other machine.
bool claims(const ether_arp& packet, const std::vector<std::string>& localMacs,
            const in_addr& target) {
  const unsigned operation = ntohs(packet.ea_hdr.ar_op);
  if (operation != ARPOP_REPLY && operation != ARPOP_REQUEST) return false;
  if (std::memcmp(packet.arp_spa, &target, 4) != 0) return false;
  const std::string sender = macText(packet.arp_sha);
  return std::find(localMacs.begin(), localMacs.end(), sender) == localMacs.end();
}

}  // namespace

std::vector<std::string> localHardwareAddresses() {
  std::vector<std::string> macs;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return macs;
  for (const LinkEntry& link : toLinkEntries(list))
    if (!link.mac.empty()) macs.push_back(link.mac);
  freeifaddrs(list);
  return macs;
}

ProbeResult arpProbe(const std::string& iface, const std::vector<std::string>& localMacs,
                     const std::string& sender, const std::string& target, int waitMs,
                     int resendMs, std::string& mac) {
  ether_arp request{};
  in_addr targetAddress{}, senderAddress{};
  if (localMacs.empty() || !parseMac(localMacs.front(), request.arp_sha) || inet_pton(AF_INET, target.c_str(), &targetAddress) != 1 ||
      (!sender.empty() && inet_pton(AF_INET, sender.c_str(), &senderAddress) != 1))
    return ProbeResult::Failed;
  const unsigned index = if_nametoindex(iface.c_str());
  Descriptor fd(socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_ARP)));
  // Probes run in threads of their own: the outcome says it, nothing is logged.
  if (index == 0 || fd.get() < 0) return ProbeResult::Failed;
  sockaddr_ll link{};
  link.sll_family = AF_PACKET;
  link.sll_protocol = htons(ETH_P_ARP);
  link.sll_ifindex = static_cast<int>(index);
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&link), sizeof link) != 0) return ProbeResult::Failed;
  link.sll_halen = ETH_ALEN;
  std::memset(link.sll_addr, 0xff, ETH_ALEN);

  request.ea_hdr.ar_hrd = htons(ARPHRD_ETHER);
  request.ea_hdr.ar_pro = htons(ETHERTYPE_IP);
  request.ea_hdr.ar_hln = ETH_ALEN;
  request.ea_hdr.ar_pln = 4;
  request.ea_hdr.ar_op = htons(ARPOP_REQUEST);
  std::memcpy(request.arp_spa, &senderAddress, 4);
  std::memcpy(request.arp_tpa, &targetAddress, 4);

  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(waitMs);
  Clock::time_point nextSend = Clock::now();
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= end) return ProbeResult::Silent;
    if (now >= nextSend) {
      if (sendto(fd.get(), &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&link),
                 sizeof link) != static_cast<ssize_t>(sizeof request))
        return ProbeResult::Failed;
      nextSend = now + std::chrono::milliseconds(resendMs);
    }
    const auto until = std::min(end, nextSend);
    pollfd wait{fd.get(), POLLIN, 0};
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count()) + 1;
    if (poll(&wait, 1, ms) <= 0) continue;
    ether_arp reply{};
    sockaddr_ll from{};
    socklen_t fromSize = sizeof from;
    const ssize_t got = recvfrom(fd.get(), &reply, sizeof reply, 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromSize);
    // Our own request is seen going out; only what others send counts.
    if (got < static_cast<ssize_t>(sizeof reply) || from.sll_pkttype == PACKET_OUTGOING) continue;
    if (!claims(reply, localMacs, targetAddress)) continue;
    mac = macText(reply.arp_sha);
    return ProbeResult::Answered;
  }
}

}  // namespace detail
}  // namespace KESP
