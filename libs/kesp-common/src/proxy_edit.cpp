// The proxy's lines in "/etc/environment" and the package managers' files.

#include "proxy_edit.h"

#include "kesp/network_model.h"

namespace KESP {
namespace detail {

namespace {

const char* const kEnvironmentProxyKey = "http_proxy";
const char* const kEnvironmentNoProxyKey = "no_proxy";
const char* const kAptProxyKey = "Acquire::http::Proxy";
const char* const kYumSection = "main";
const char* const kYumProxyKey = "proxy";
const char* const kSuseEnabledKey = "PROXY_ENABLED";
const char* const kSuseProxyKey = "HTTP_PROXY";

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

void editEnvironmentProxy(KeyValueFile& environment, const std::string& url) {
  if (url.empty())
    environment.remove(kEnvironmentProxyKey);
  else
    environment.set(kEnvironmentProxyKey, url);
  std::string noProxy;
  environment.get(kEnvironmentNoProxyKey, noProxy);
  environment.set(kEnvironmentNoProxyKey, completeNoProxy(noProxy));
}

void editAptProxy(KeyValueFile& apt, const std::string& url) {
  apt.set(kAptProxyKey, doubleQuoted(url) + ';');
}

void editYumProxy(KeyValueFile& yum, const std::string& url) {
  if (url.empty())
    yum.remove(kYumSection, kYumProxyKey);
  else
    yum.set(kYumSection, kYumProxyKey, url);
}

void editSuseProxy(KeyValueFile& proxy, const std::string& url) {
  proxy.set(kSuseEnabledKey, doubleQuoted(url.empty() ? "no" : "yes"));
  proxy.set(kSuseProxyKey, doubleQuoted(url));
}

}  // namespace detail
}  // namespace KESP
