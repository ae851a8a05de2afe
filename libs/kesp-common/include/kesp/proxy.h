#pragma once
// The appliance's HTTP proxy: one URL, "http://[user[:password]@]host:port",
// kept as "http_proxy" in "/etc/environment" and copied into the package
// manager's configuration of the running distribution family (APT, yum or the
// sysconfig proxy file). User and password travel percent-encoded inside it.

#include <string>

namespace KESP {

/// Writes the proxy built from the four parts, or removes it when host is
/// empty: "http_proxy", "https_proxy" and "ftp_proxy" in "/etc/environment"
/// (upper-case forms too where the file has them; "no_proxy" there is completed
/// with the local host names either way), then the family's package-manager
/// file. host may hold only letters, digits, ".", "-" and "_"; a port whose
/// leading number is not 1..65535 becomes 80; a password without a user is
/// dropped. False when the URL would not be well formed (ERROR "Format is
/// invalid", nothing written), when "/etc/environment" cannot be written
/// (nothing else written) or, on SUSE, when "/etc/sysconfig/proxy" cannot be.
/// APT and yum files that cannot be written are logged but leave it true.
bool setProxy(const std::string& host, const std::string& port, const std::string& user,
              const std::string& password);

/// setProxy that also tells what its result does not: unwrittenFile names
/// (without the system root) the APT or yum file that could not be written
/// while the result stayed true; empty when every file was written.
bool setProxyReporting(const std::string& host, const std::string& port, const std::string& user,
                       const std::string& password, std::string& unwrittenFile);

/// Reads the four parts back from "http_proxy" in "/etc/environment" (or
/// "https_proxy", "ftp_proxy" where it is missing or empty), user
/// and password decoded; a URL without a port gives port "80". All four are
/// empty when there is no proxy or the value is not a proxy URL. False (the
/// reason logged) when "/etc/environment" exists but cannot be read.
bool getProxy(std::string& host, std::string& port, std::string& user, std::string& password);

/// setProxy for a caller that may not know the stored password: unless
/// passwordGiven, the password of the currently stored URL (none when it has
/// none) is written back instead of `password`. The result is setProxy's.
bool setProxyPreservingPassword(const std::string& host, const std::string& port,
                                const std::string& user, const std::string& password,
                                bool& passwordGiven);
/// setProxyPreservingPassword with setProxyReporting's unwrittenFile.
bool setProxyPreservingPasswordReporting(const std::string& host, const std::string& port,
                                         const std::string& user, const std::string& password,
                                         bool passwordGiven, std::string& unwrittenFile);

/// Percent-encodes every byte but ASCII letters, digits, "-", ".", "_" and
/// "~"; empty when the encoder fails.
std::string urlEscape(const std::string& text);
/// Decodes "%XX" sequences (other text is kept as it is); empty when the
/// decoder fails. Decoded NUL bytes are kept.
std::string urlUnescape(const std::string& text);

}  // namespace KESP
