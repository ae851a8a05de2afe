// The proxy URL and the percent-encoding of its user and password.

#include "settings/proxy_url.h"

#include <cerrno>
#include <cstdlib>

#include "kesp/parser.h"
#include "kesp/proxy.h"

namespace KESP {

namespace {

const char* const kUserPasswordForm = "^http://([^\\s:]*):([^\\s:@]*)@([^\\s@:]+):(\\d+)$";
const char* const kUserForm = "^http://([^\\s:]+)@([^\\s@:]+):(\\d+)$";
const char* const kHostPortForm = "^['\"]?http://([^:]+):(\\d+)$";
const char* const kHostForm = "^['\"]?http://([^/]+)$";
// Hand-written values may leave the port out behind a user; without these the
// host-only form would take "user:password@host" whole for the host.
const char* const kUserPasswordNoPortForm = "^http://([^\\s:]*):([^\\s:@]*)@([^\\s@:/]+)$";
const char* const kUserNoPortForm = "^http://([^\\s:]+)@([^\\s@:/]+)$";

const int kNone = -1;

/// A URL form and which of its groups (0-based, as Parser::get counts) hold
/// which part.
struct UrlForm {
  const char* pattern;
  int user;
  int password;
  int host;
  int port;  // kNone: port 80 implied
};

// Tried in this order; the first match decides.
const UrlForm kUrlForms[] = {
    {kUserPasswordForm, 0, 1, 2, 3},
    {kUserForm, 0, kNone, 1, 2},
    {kHostPortForm, kNone, kNone, 0, 1},
    {kUserPasswordNoPortForm, 0, 1, 2, kNone},
    {kUserNoPortForm, 0, kNone, 1, kNone},
    {kHostForm, kNone, kNone, 0, kNone},
};

bool isHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

/// RFC 3986's unreserved characters: the only ones a URL part keeps as they are.
bool isUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

/// The value of a hexadecimal digit of either case, or -1.
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// Every byte, NUL and bytes above 0x7F included, is encoded: nothing after a
// NUL byte of a password is lost.
std::string urlEscape(const std::string& text) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size() * 3);
  for (char c : text) {
    if (isUnreserved(c)) {
      escaped += c;
      continue;
    }
    const unsigned char byte = static_cast<unsigned char>(c);
    escaped += '%';
    escaped += kHexDigits[byte >> 4];
    escaped += kHexDigits[byte & 0x0F];
  }
  return escaped;
}

// "%" followed by anything but two hexadecimal digits stays as it is, and "+"
// is no blank: values written by hand or by other tools read back unchanged.
std::string urlUnescape(const std::string& text) {
  std::string plain;
  plain.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
    const int low = high < 0 ? -1 : hexValue(text[i + 2]);
    if (low < 0) {
      plain += text[i];
      continue;
    }
    plain += static_cast<char>(high << 4 | low);
    i += 2;
  }
  return plain;
}

namespace detail {

bool isValidProxyHost(const std::string& host) {
  if (host.empty()) return false;
  for (char c : host) {
    if (!isHostCharacter(c)) return false;
  }
  return true;
}

bool isPortInRange(const std::string& port) {
  // strtol reads what atoi reads, but saturates instead of wrapping, so that
  // "4294967376" is not taken for 80.
  errno = 0;
  long number = std::strtol(port.c_str(), nullptr, 10);
  return errno == 0 && number >= 1 && number <= 65535;
}

bool composeProxyUrl(const std::string& host, const std::string& port, const std::string& user,
                     const std::string& password, std::string& url) {
  url.clear();
  if (host.empty()) return true;
  if (!isValidProxyHost(host)) return false;
  std::string candidate = "http://";
  const char* form = kHostPortForm;
  if (!user.empty()) {
    candidate += urlEscape(user);
    form = kUserForm;
    if (!password.empty()) {
      candidate += ':' + urlEscape(password);
      form = kUserPasswordForm;
    }
    candidate += '@';
  }
  candidate += host;
  candidate += ':';
  candidate += isPortInRange(port) ? port : std::string("80");
  if (!regex_full_match(form, candidate)) return false;
  url = candidate;
  return true;
}

bool parseProxyUrl(const std::string& value, ProxyParts& parts) {
  for (const UrlForm& form : kUrlForms) {
    Parser parser(value);
    if (!parser.search(form.pattern)) continue;
    ProxyParts found;
    found.host = parser.get(form.host);
    found.port = form.port == kNone ? std::string("80") : parser.get(form.port);
    if (form.user != kNone) found.user = urlUnescape(parser.get(form.user));
    if (form.password != kNone) {
      found.password = urlUnescape(parser.get(form.password));
      found.hasPassword = true;
    }
    parts = found;
    return true;
  }
  return false;
}

}  // namespace detail
}  // namespace KESP
