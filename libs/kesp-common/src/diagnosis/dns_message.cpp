// A DNS query of our own: RFC 1035's header, one question for ". NS IN".

#include "diagnosis/dns_message.h"

namespace KESP {
namespace detail {

namespace {

// Header flags: QR (a response), RD (recursion desired); the low four bits
// of the second byte are the response code.
const unsigned char kFlagsQuery = 0x01;  // RD
const unsigned char kResponseBit = 0x80;
// The question: the root name (one zero byte), QTYPE NS (2), QCLASS IN (1).
const char kQuestion[] = {0, 0, 2, 0, 1};

unsigned char byteAt(const std::string& data, size_t at) { return static_cast<unsigned char>(data[at]); }

std::string rcodeText(unsigned code) {
  static const char* const kNames[] = {"NOERROR", "FORMERR", "SERVFAIL", "NXDOMAIN",
                                       "NOTIMP",  "REFUSED"};
  if (code < sizeof kNames / sizeof kNames[0]) return kNames[code];
  return "RCODE " + std::to_string(code);
}

}  // namespace

std::string buildRootQuery(uint16_t id) {
  std::string query;
  query += static_cast<char>(id >> 8);
  query += static_cast<char>(id & 0xff);
  query += static_cast<char>(kFlagsQuery);
  query += '\0';
  // One question, no answers, authorities or additional records.
  query += std::string("\0\1\0\0\0\0\0\0", 8);
  query.append(kQuestion, sizeof kQuestion);
  return query;
}

DnsReplyKind judgeRootReply(const std::string& datagram, uint16_t id, std::string& rcodeName) {
  const size_t headerSize = 12;
  if (datagram.size() < headerSize) return DnsReplyKind::NotAReply;
  if (byteAt(datagram, 0) != (id >> 8) || byteAt(datagram, 1) != (id & 0xff))
    return DnsReplyKind::NotAReply;
  if ((byteAt(datagram, 2) & kResponseBit) == 0) return DnsReplyKind::NotAReply;
  // A server may leave the question out of an error reply; when it is there
  // it must be ours.
  const unsigned questions = byteAt(datagram, 4) << 8 | byteAt(datagram, 5);
  if (questions > 1) return DnsReplyKind::NotAReply;
  if (questions == 1 &&
      datagram.compare(headerSize, sizeof kQuestion, std::string(kQuestion, sizeof kQuestion)) != 0)
    return DnsReplyKind::NotAReply;
  const unsigned code = byteAt(datagram, 3) & 0x0f;
  if (code == 0 || code == 3) return DnsReplyKind::Answer;
  rcodeName = rcodeText(code);
  return DnsReplyKind::Refusal;
}

}  // namespace detail
}  // namespace KESP
