#pragma once
// Shell-variable values that hold a blank-separated list of names, such as
// MODULES_LOADED_ON_BOOT="virtio_net ipv6" or INTERFACES="eth0 eth1": one
// word is added or taken out, and every other word, blank and quote stays.

#include <string>
#include <string_view>
#include <vector>

namespace KESP {
namespace detail {

/// The MODULES_LOADED_ON_BOOT value (as KeyValueFile::get gives it, quotes
/// included) with the word ipv6 added at the end when wanted, or every ipv6
/// word removed with one adjacent blank otherwise. The result is always
/// quoted: an unquoted value gains double quotes. An empty pair of quotes
/// gains " ipv6"; an empty or absent value becomes "ipv6" in double quotes.
std::string editModuleList(const std::string& value, bool ipv6Wanted);

/// The INTERFACES value with iface present as one word (appended when
/// missing) or absent (every occurrence removed with one adjacent blank).
/// Quotes are kept; an unquoted value stays unquoted while it has at most one
/// word and gains double quotes when it would hold several.
std::string editInterfaceList(const std::string& value, const std::string& iface, bool present);

/// The words of text between blanks (spaces, tabs, line ends), as a stream
/// reads them one by one, without a stream's set-up for each value: the
/// lists of every file of a system are split at each command.
std::vector<std::string> blankSeparatedWords(std::string_view text);

}  // namespace detail
}  // namespace KESP
