// The proxy URL and the percent-encoding of its user and password.

#include "proxy_url.h"

#include <curl/curl.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

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

/// Copies and releases what libcurl returned; empty for nothing.
std::string takeCurlString(char* text, size_t length) {
  if (text == nullptr) return std::string();
  std::string result(text, length);
  curl_free(text);
  return result;
}

}  // namespace

std::string urlEscape(const std::string& text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  // The real length rather than 0 ("up to the first NUL"), so that no part of
  // a password after a NUL byte is silently lost.
  char* escaped = curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size()));
  return takeCurlString(escaped, escaped == nullptr ? 0 : std::strlen(escaped));
}

std::string urlUnescape(const std::string& text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  int length = 0;
  char* plain = curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length);
  return takeCurlString(plain, length < 0 ? 0 : static_cast<size_t>(length));
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
