// `ip route get` through netlink: which interface and gateway the kernel
// would use for an address. Asking sends nothing on any wire.

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstring>

#include "diagnosis/probes.h"
#include "files/scoped_fd.h"

namespace KESP {
namespace detail {

namespace {

struct RouteRequest {
  nlmsghdr header;
  rtmsg route;
  char attributes[RTA_SPACE(4)];
};

void readRoute(const nlmsghdr* message, std::string& iface, std::string& gateway) {
  const rtmsg* route = static_cast<const rtmsg*>(NLMSG_DATA(message));
  int length = static_cast<int>(RTM_PAYLOAD(message));
  for (const rtattr* attribute = RTM_RTA(route); RTA_OK(attribute, length);
       attribute = RTA_NEXT(attribute, length)) {
    if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) >= sizeof(int)) {
      int index = 0;
      std::memcpy(&index, RTA_DATA(attribute), sizeof index);
      char name[IF_NAMESIZE] = "";
      if (if_indextoname(static_cast<unsigned>(index), name)) iface = name;
    } else if (attribute->rta_type == RTA_GATEWAY && RTA_PAYLOAD(attribute) == 4) {
      char text[INET_ADDRSTRLEN] = "";
      if (inet_ntop(AF_INET, RTA_DATA(attribute), text, sizeof text)) gateway = text;
    }
  }
}

}  // namespace

bool routeTo(const std::string& address, std::string& iface, std::string& gateway) {
  iface.clear();
  gateway.clear();
  in_addr destination{};
  if (inet_pton(AF_INET, address.c_str(), &destination) != 1) return false;
  Descriptor fd(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (fd.get() < 0) return false;

  RouteRequest request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg)) + RTA_SPACE(4);
  request.header.nlmsg_type = RTM_GETROUTE;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.header.nlmsg_seq = 1;
  request.route.rtm_family = AF_INET;
  request.route.rtm_dst_len = 32;
  rtattr* attribute = reinterpret_cast<rtattr*>(request.attributes);
  attribute->rta_type = RTA_DST;
  attribute->rta_len = RTA_LENGTH(4);
  std::memcpy(RTA_DATA(attribute), &destination, 4);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(fd.get(), &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
             sizeof kernel) < 0)
    return false;

  pollfd wait{fd.get(), POLLIN, 0};
  if (poll(&wait, 1, 1000) <= 0) return false;
  alignas(nlmsghdr) char buffer[8192];
  const ssize_t got = recv(fd.get(), buffer, sizeof buffer, 0);
  if (got <= 0) return false;
  // Walked by hand rather than with NLMSG_OK/NLMSG_NEXT, whose comparison of
  // a signed length with the header's unsigned one compilers rightly flag.
  const size_t length = static_cast<size_t>(got);
  for (size_t offset = 0; offset + sizeof(nlmsghdr) <= length;) {
    const nlmsghdr* message = reinterpret_cast<const nlmsghdr*>(buffer + offset);
    if (message->nlmsg_len < sizeof(nlmsghdr) || message->nlmsg_len > length - offset) break;
    // No route (ENETUNREACH) is an answer: the address cannot be reached.
    if (message->nlmsg_type == NLMSG_ERROR) return true;
    if (message->nlmsg_type == RTM_NEWROUTE) {
      readRoute(message, iface, gateway);
      return true;
    }
    offset += NLMSG_ALIGN(message->nlmsg_len);
  }
  return false;
}

}  // namespace detail
}  // namespace KESP
