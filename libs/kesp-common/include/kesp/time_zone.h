#pragma once
// The appliance's time zone in its files: the zone database under
// /usr/share/zoneinfo, /etc/localtime (a link to the zone's file) and
// /etc/timezone (the zone's name), all under the system root.

#include <string>
#include <vector>

namespace KESP {

/// One entry of a directory of the zone database: a region (a directory of
/// further entries) or a zone (a file in the database's binary format).
struct ZoneEntry {
  std::string name;
  bool region = false;
};

/// The regions and zones of the database directory `directory` ("" for the
/// top, else e.g. "Europe" or "America/Argentina"), sorted by name. Files that
/// are no zones (tables, notes) are left out, and so are the database's
/// "posix" and "right" copies. False (logged) when the directory cannot be read.
bool listZoneEntries(const std::string& directory, std::vector<ZoneEntry>& entries);

/// True when name is a zone of the database: a relative path of letters,
/// digits, "_", "-", "+" and "/", without "." or ".." parts, naming a file in
/// the database's binary format.
bool isZoneName(const std::string& name);

/// The configured zone: the first line of /etc/timezone, else the part after
/// "zoneinfo/" of the target of the link /etc/localtime; empty when neither
/// tells.
std::string configuredTimeZone();

/// Makes zone the configured one: /etc/timezone names it and /etc/localtime
/// becomes a link to "/usr/share/zoneinfo/<zone>" (the link replaced whole, so
/// that no reader ever finds it missing). One change, under the change lock;
/// false (logged) when zone is no zone or a file cannot be written, and
/// /etc/timezone is then put back.
bool setTimeZoneFiles(const std::string& zone);

}  // namespace KESP
