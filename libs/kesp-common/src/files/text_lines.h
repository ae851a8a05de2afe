#pragma once
// A file's text as lines and back, as TextFile loads and saves it.

#include <list>
#include <string>

namespace KESP {
namespace detail {

/// Lines without their line ends; a last line without a newline is kept whole,
/// and lines of any length stay whole.
std::list<std::string> splitLines(const std::string& text);

/// Every line followed by a newline.
std::string joinLines(const std::list<std::string>& lines);

}  // namespace detail
}  // namespace KESP
