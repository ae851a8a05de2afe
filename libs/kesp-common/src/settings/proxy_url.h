#pragma once
// The proxy URL: built from its parts with the checks that keep it safe in
// every file it is copied into, and split again. Pure functions on texts.

#include <string>

namespace KESP {
namespace detail {

/// The parts of a stored proxy URL, user and password decoded.
struct ProxyParts {
  std::string host;
  std::string port;
  std::string user;
  std::string password;
  /// True when the URL carried a password field (possibly empty).
  bool hasPassword = false;
};

/// True for a non-empty host of ASCII letters, digits, ".", "-" and "_" only:
/// the URL lands in files that shells source and that APT parses, where
/// anything else could start a new line, option or command.
bool isValidProxyHost(const std::string& host);

/// True when the port's leading decimal number (after blanks and a sign, as
/// atoi reads it) lies from 1 to 65535; numbers too large for any integer
/// type are out of range rather than wrapped.
bool isPortInRange(const std::string& port);

/// Builds "http://[user[:password]@]host:port" with user and password
/// percent-encoded; the port text is kept as given when isPortInRange, else
/// ":80". An empty host gives an empty URL (no proxy) and true. False when
/// the host is not valid or the URL does not fit its form (for example a port
/// with trailing non-digits).
bool composeProxyUrl(const std::string& host, const std::string& port, const std::string& user,
                     const std::string& password, std::string& url);

/// Splits a stored "http_proxy" value (one pair of enclosing quotes already
/// removed) into its parts; a URL without a port gives "80". False, parts
/// untouched, when the value is no proxy URL.
bool parseProxyUrl(const std::string& value, ProxyParts& parts);

}  // namespace detail
}  // namespace KESP
