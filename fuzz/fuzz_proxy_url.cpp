// The proxy URL: every stored form read back, and URLs built from parts.
//
// Properties: a URL that is built holds only characters that are literal in
// a shell word, an APT string and a yum value, and parses back to the parts it
// was built from; percent-encoding round-trips any bytes.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

#include "fuzz_support.h"
#include "kesp/proxy.h"
#include "settings/proxy_url.h"

using namespace KESP;

namespace {

bool isInertUrlCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr(".-_~%:/@", c) != nullptr;
}

void checkStoredValue(const std::string& value) {
  detail::ProxyParts parts;
  parts.host = "untouched";
  if (!detail::parseProxyUrl(value, parts)) {
    KESP_FUZZ_CHECK(parts.host == "untouched");
    return;
  }
  KESP_FUZZ_CHECK(!parts.host.empty());
  KESP_FUZZ_CHECK(!parts.port.empty());
  if (!parts.hasPassword) KESP_FUZZ_CHECK(parts.password.empty());
}

void checkComposed(const std::string& host, const std::string& port, const std::string& user,
                   const std::string& password) {
  std::string url = "untouched";
  const bool built = detail::composeProxyUrl(host, port, user, password, url);
  if (!built) {
    KESP_FUZZ_CHECK(url.empty());
    KESP_FUZZ_CHECK(!host.empty() && (!detail::isValidProxyHost(host) || detail::isPortInRange(port)));
    return;
  }
  if (host.empty()) {
    KESP_FUZZ_CHECK(url.empty());
    return;
  }
  for (char c : url) KESP_FUZZ_CHECK(isInertUrlCharacter(c));
  detail::ProxyParts parts;
  KESP_FUZZ_CHECK(detail::parseProxyUrl(url, parts));
  KESP_FUZZ_CHECK(parts.host == host);
  KESP_FUZZ_CHECK(parts.port == (detail::isPortInRange(port) ? port : std::string("80")));
  KESP_FUZZ_CHECK(parts.user == user);
  // A password without a user is not stored.
  KESP_FUZZ_CHECK(parts.password == (user.empty() ? std::string() : password));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kesp_fuzz::silenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string host = input.ConsumeRandomLengthString(24);
  const std::string port = input.ConsumeRandomLengthString(8);
  const std::string user = input.ConsumeRandomLengthString(24);
  const std::string password = input.ConsumeRandomLengthString(24);
  const std::string value = input.ConsumeRemainingBytesAsString();

  checkStoredValue(value);
  checkComposed(host, port, user, password);
  KESP_FUZZ_CHECK(urlUnescape(urlEscape(value)) == value);
  const std::string escaped = urlEscape(value);
  for (char c : escaped) KESP_FUZZ_CHECK(isInertUrlCharacter(c) && c != ':' && c != '@' && c != '/');
  return 0;
}
