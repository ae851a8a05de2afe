#pragma once
// The one DNS question the diagnosis asks a name server, and how its answer
// is read: bytes in memory, no sockets.

#include <cstdint>
#include <string>

namespace KESP {
namespace detail {

/// A standard query with recursion desired for the name servers (NS) of the
/// root zone under the identifier id: 17 bytes, valid for any server.
std::string buildRootQuery(uint16_t id);

enum class DnsReplyKind { NotAReply, Answer, Refusal };

/// Judges a datagram as the reply to buildRootQuery(id): NotAReply for
/// anything else (short, another id, not a response, another question);
/// Answer for NOERROR or NXDOMAIN; Refusal for any other response code,
/// whose name ("SERVFAIL", "REFUSED", "RCODE 9") goes into rcodeName.
DnsReplyKind judgeRootReply(const std::string& datagram, uint16_t id, std::string& rcodeName);

/// A standard query with recursion desired for the IPv4 addresses (A) of
/// name; empty when name is no host name (a label over 63 bytes, a name over
/// 253, an empty label).
std::string buildAddressQuery(uint16_t id, const std::string& name);

/// The first IPv4 address among the answers of a reply to
/// buildAddressQuery(id, name); empty when there is none or it is no reply.
std::string firstAddressAnswer(const std::string& datagram, uint16_t id);

}  // namespace detail
}  // namespace KESP
