// Reading and writing the proxy: "/etc/environment" first, then the package
// manager of the running distribution family.

#include "kesp/proxy.h"

#include "change/change_scope.h"
#include "families/family.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "settings/proxy_edit.h"
#include "settings/proxy_url.h"

namespace KESP {

namespace {

const char* const kEnvironmentFile = "/etc/environment";
const char* const kAptConf = "/etc/apt/apt.conf";
const char* const kAptProxyPart = "/etc/apt/apt.conf.d/99proxy";
const char* const kYumConf = "/etc/yum.conf";
const char* const kSuseProxyFile = "/etc/sysconfig/proxy";

// The package managers run as root and alone read their files, which hold the
// proxy's password: a file we create is theirs only. "/etc/environment" and
// SUSE's proxy file are read by every login, so they stay readable (0644).
const unsigned kPackageManagerFileMode = 0600;

/// The stored proxy URL, one pair of enclosing quotes removed; empty when
/// "/etc/environment" is missing or holds none. False when it exists but
/// cannot be read (the reading logged why).
bool storedProxyUrl(std::string& url) {
  url.clear();
  KeyValueFile environment('=');
  if (!environment.load(sysPath(kEnvironmentFile))) return !environment.unreadable();
  url = detail::environmentProxyUrl(environment);
  return true;
}

/// APT's main file when it can be read, else the drop-in part (created when
/// missing). A failure is logged and named in unwritten; the result stays.
void writeAptProxy(const std::string& url, std::string& unwritten) {
  KeyValueFile apt(' ');
  std::string path = kAptConf;
  if (!apt.load(sysPath(kAptConf))) {
    // A main file that is there but cannot be read keeps whatever proxy it
    // names: a part beside it would not be the one APT goes by.
    if (apt.unreadable()) {
      KESP_LOG(LOG_ERROR, "setProxy", "Failed to write apt conf");
      unwritten = kAptConf;
      return;
    }
    path = kAptProxyPart;
    apt.load(sysPath(kAptProxyPart));
  }
  detail::editAptProxy(apt, url);
  apt.setNewFileMode(kPackageManagerFileMode);
  if (!apt.save()) {
    KESP_LOG(LOG_ERROR, "setProxy", "Failed to write apt conf");
    unwritten = path;
  }
}

void writeYumProxy(const std::string& url, std::string& unwritten) {
  KeyValueFile yum('=');
  yum.load(sysPath(kYumConf));
  detail::editYumProxy(yum, url);
  yum.setNewFileMode(kPackageManagerFileMode);
  if (!yum.save(sysPath(kYumConf))) {
    KESP_LOG(LOG_ERROR, "setProxy", "Failed to write yum conf");
    unwritten = kYumConf;
  }
}

bool writeSuseProxy(const std::string& url) {
  KeyValueFile proxy('=');
  proxy.load(sysPath(kSuseProxyFile));
  detail::editSuseProxy(proxy, url);
  return proxy.save(sysPath(kSuseProxyFile));
}

/// Every file of the proxy: "/etc/environment", then the family's package manager.
bool writeProxyFiles(const std::string& url, std::string& unwritten) {
  KeyValueFile environment('=');
  environment.load(sysPath(kEnvironmentFile));  // a missing file starts empty
  detail::editEnvironmentProxy(environment, url);
  // TextFile::save logs the failure and refuses a file that exists but could
  // not be read, so a partial read never replaces the whole environment.
  if (!environment.save(sysPath(kEnvironmentFile))) return false;

  const detail::Family* family = detail::detectFamily();
  switch (family ? family->proxyFile() : detail::ProxyFileKind::None) {
    case detail::ProxyFileKind::Apt:
      writeAptProxy(url, unwritten);
      return true;
    case detail::ProxyFileKind::Yum:
      writeYumProxy(url, unwritten);
      return true;
    case detail::ProxyFileKind::SuseSysconfig:
      return writeSuseProxy(url);
    case detail::ProxyFileKind::None:
      break;
  }
  return true;
}

}  // namespace

bool setProxyReporting(const std::string& host, const std::string& port, const std::string& user,
                       const std::string& password, std::string& unwrittenFile) {
  unwrittenFile.clear();
  std::string url;
  if (!detail::composeProxyUrl(host, port, user, password, url)) {
    KESP_LOG(LOG_ERROR, "setProxy", "Format is invalid");
    return false;
  }
  detail::ChangeScope scope("setProxy");
  if (!scope.isOpen()) return false;
  return scope.finish(writeProxyFiles(url, unwrittenFile));
}

bool setProxy(const std::string& host, const std::string& port, const std::string& user,
              const std::string& password) {
  std::string unwritten;
  return setProxyReporting(host, port, user, password, unwritten);
}

bool getProxy(std::string& host, std::string& port, std::string& user, std::string& password) {
  host.clear();
  port.clear();
  user.clear();
  password.clear();
  std::string url;
  if (!storedProxyUrl(url)) return false;
  detail::ProxyParts parts;
  if (url.empty() || !detail::parseProxyUrl(url, parts)) return true;
  host = parts.host;
  port = parts.port;
  user = parts.user;
  password = parts.password;
  return true;
}

bool setProxyPreservingPasswordReporting(const std::string& host, const std::string& port,
                                         const std::string& user, const std::string& password,
                                         bool passwordGiven, std::string& unwrittenFile) {
  unwrittenFile.clear();
  // The stored password is read under the same lock as the write that keeps it.
  detail::ChangeScope scope("setProxy");
  if (!scope.isOpen()) return false;
  if (passwordGiven)
    return scope.finish(setProxyReporting(host, port, user, password, unwrittenFile));
  detail::ProxyParts stored;
  std::string kept, url;
  if (storedProxyUrl(url) && detail::parseProxyUrl(url, stored) && stored.hasPassword)
    kept = stored.password;
  return scope.finish(setProxyReporting(host, port, user, kept, unwrittenFile));
}

bool setProxyPreservingPassword(const std::string& host, const std::string& port,
                                const std::string& user, const std::string& password,
                                bool& passwordGiven) {
  std::string unwritten;
  return setProxyPreservingPasswordReporting(host, port, user, password, passwordGiven, unwritten);
}

}  // namespace KESP
