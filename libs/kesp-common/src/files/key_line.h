#pragma once
// The grammar of one "key<separator>value" line, shared by the key-value view
// and the free file operations.

#include <string>

namespace KESP {
namespace detail {

/// Splits a key line. Comments ("#", ";") and lines without a separator are not
/// key lines. With `separatorMayLead` false a line starting with the separator
/// is not a key line either; otherwise its key is empty. With `collapse` a run of
/// separators counts as one. The key loses trailing blanks; the value loses
/// leading blanks only.
bool parseKeyLine(const std::string& line, char separator, bool collapse, bool separatorMayLead,
                  std::string& key, std::string& value);

/// The "[name]" header on the line, if it is one.
bool parseSectionHeader(const std::string& line, std::string& name);

}  // namespace detail
}  // namespace KESP
