// The quoting rule shared by the ifcfg formats, which a shell sources.

#include "kesp/interface_files.h"

namespace KESP {

namespace {

/// Text between value's first character `quote` and its last one; false when
/// value does not start with quote or has no second one.
bool stripQuotes(const std::string& value, char quote, std::string& inner) {
  if (value.empty() || value[0] != quote) return false;
  std::string::size_type closing = value.rfind(quote);
  if (closing == 0) return false;
  inner = value.substr(1, closing - 1);
  return true;
}

}  // namespace

bool getUnquotedValue(KeyValueFile& file, const std::string& key, std::string& value) {
  std::string raw;
  if (!file.get(key, raw)) return false;
  std::string inner;
  if (stripQuotes(raw, '\'', inner) || stripQuotes(raw, '"', inner))
    value = inner;
  else
    value = raw;
  return true;
}

}  // namespace KESP
