#pragma once
// Who rewrites resolv.conf: the one decision every name-server operation
// starts from, so that servers go where that owner reads them.

#include <string>

#include "kesp/network_change.h"

namespace KESP {
namespace detail {

/// The owner of resolv.conf, from where its links lead and from its header.
/// `target` is the absolute path (inside the system root) that the file's
/// links end at, empty when resolv.conf is no link; `header` is the file's
/// text (only its leading comment lines count), empty when it cannot be read,
/// as with a link into an image's empty /run. A link into a manager's runtime
/// directory decides first; a plain file (or a link elsewhere) is the
/// manager's whose "generated" comment heads it, and else its own.
NameServerOwner decideNameServerOwner(const std::string& target, const std::string& header);

/// What the decision looks at, read under the system root: where the links
/// of resolv.conf end (empty when it is none) and its text (empty when it
/// cannot be read).
void inspectResolverFile(std::string& target, std::string& header);

}  // namespace detail
}  // namespace KESP
