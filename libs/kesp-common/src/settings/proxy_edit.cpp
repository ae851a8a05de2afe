// The proxy's lines in "/etc/environment" and the package managers' files.

#include "settings/proxy_edit.h"

#include "kesp/interface_files.h"
#include "kesp/network_model.h"

namespace KESP {
namespace detail {

namespace {

// One proxy serves every scheme a package download or a login's tools use;
// its URL is "http://" whatever the scheme, as the proxy speaks HTTP.
const char* const kEnvironmentProxyKeys[] = {"http_proxy", "https_proxy", "ftp_proxy"};
// Upper-case forms some programs read; kept in step only where a file has them.
const char* const kEnvironmentUpperProxyKeys[] = {"HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY"};
const char* const kEnvironmentNoProxyKey = "no_proxy";
const char* const kAptProxyKeys[] = {"Acquire::http::Proxy", "Acquire::https::Proxy",
                                     "Acquire::ftp::Proxy"};
const char* const kYumSection = "main";
const char* const kYumProxyKey = "proxy";
const char* const kSuseEnabledKey = "PROXY_ENABLED";
const char* const kSuseProxyKeys[] = {"HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY"};

std::string doubleQuoted(const std::string& text) { return '"' + text + '"'; }

bool isEnclosedInQuotes(const std::string& text) {
  return text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
         text.back() == text.front();
}

}  // namespace

std::string completeNoProxy(const std::string& list) {
  // Appending behind a closing quote would leave the names outside the quoted
  // list for readers that take the quoted text only.
  if (isEnclosedInQuotes(list)) {
    std::string inner = list.substr(1, list.size() - 2);
    appendLocalHostNames(inner);
    return list.front() + inner + list.back();
  }
  std::string completed = list;
  appendLocalHostNames(completed);
  return completed;
}

std::string environmentProxyUrl(KeyValueFile& environment) {
  for (const char* key : kEnvironmentProxyKeys) {
    std::string url;
    if (getUnquotedValue(environment, key, url) && !url.empty()) return url;
  }
  return std::string();
}

void editEnvironmentProxy(KeyValueFile& environment, const std::string& url) {
  for (const char* key : kEnvironmentProxyKeys) {
    if (url.empty())
      environment.remove(key);
    else
      environment.set(key, url);
  }
  for (const char* key : kEnvironmentUpperProxyKeys) {
    std::string present;
    if (!environment.get(key, present)) continue;
    if (url.empty())
      environment.remove(key);
    else
      environment.set(key, url);
  }
  std::string noProxy;
  environment.get(kEnvironmentNoProxyKey, noProxy);
  environment.set(kEnvironmentNoProxyKey, completeNoProxy(noProxy));
}

void editAptProxy(KeyValueFile& apt, const std::string& url) {
  for (const char* key : kAptProxyKeys) apt.set(key, doubleQuoted(url) + ';');
}

void editYumProxy(KeyValueFile& yum, const std::string& url) {
  if (url.empty())
    yum.remove(kYumSection, kYumProxyKey);
  else
    yum.set(kYumSection, kYumProxyKey, url);
}

void editSuseProxy(KeyValueFile& proxy, const std::string& url) {
  proxy.set(kSuseEnabledKey, doubleQuoted(url.empty() ? "no" : "yes"));
  for (const char* key : kSuseProxyKeys) proxy.set(key, doubleQuoted(url));
}

}  // namespace detail
}  // namespace KESP
