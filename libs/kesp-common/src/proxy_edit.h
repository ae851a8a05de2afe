#pragma once
// The proxy lines of each file the proxy is kept in, edited in memory; the
// other lines stay as they are. proxy.cpp does the reading and writing.

#include <string>

#include "kesp/util.h"

namespace KESP {
namespace detail {

/// The "no_proxy" list completed with the local host names; a list enclosed
/// in quotes is completed inside them.
std::string completeNoProxy(const std::string& list);

/// "/etc/environment" ('='): "http_proxy" set to url, or removed when url is
/// empty; "no_proxy" completed in both cases.
void editEnvironmentProxy(KeyValueFile& environment, const std::string& url);
/// APT configuration (' '): Acquire::http::Proxy "url"; ("" when empty).
void editAptProxy(KeyValueFile& apt, const std::string& url);
/// yum configuration ('='): "proxy" in section "main", removed when url is empty.
void editYumProxy(KeyValueFile& yum, const std::string& url);
/// SUSE's sysconfig proxy file ('='): PROXY_ENABLED "yes"/"no" and HTTP_PROXY
/// the quoted url (two quotes when empty).
void editSuseProxy(KeyValueFile& proxy, const std::string& url);

}  // namespace detail
}  // namespace KESP
