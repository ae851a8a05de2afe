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

/// The stored proxy URL of "/etc/environment", quotes removed: "http_proxy",
/// else "https_proxy", else "ftp_proxy" (the first not empty); empty for none.
std::string environmentProxyUrl(KeyValueFile& environment);
/// "/etc/environment" ('='): "http_proxy", "https_proxy" and "ftp_proxy" set
/// to url, or removed when url is empty, and their upper-case forms likewise
/// where the file has them; "no_proxy" completed in both cases.
void editEnvironmentProxy(KeyValueFile& environment, const std::string& url);
/// APT configuration (' '): Acquire::http::Proxy, ::https:: and ::ftp:: "url";
/// ("" when empty).
void editAptProxy(KeyValueFile& apt, const std::string& url);
/// yum configuration ('='): "proxy" in section "main", removed when url is empty.
void editYumProxy(KeyValueFile& yum, const std::string& url);
/// SUSE's sysconfig proxy file ('='): PROXY_ENABLED "yes"/"no"; HTTP_PROXY,
/// HTTPS_PROXY and FTP_PROXY the quoted url (two quotes when empty).
void editSuseProxy(KeyValueFile& proxy, const std::string& url);

}  // namespace detail
}  // namespace KESP
