#pragma once
// The directories a journal needs where an image has none: made whole under
// a hidden name and renamed into place with the journal already in them, so
// that no kill leaves an empty directory that no journal names.

#include <string>
#include <vector>

namespace KESP {
namespace detail {

/// Of directory (absolute, without the system root) and its parents, those
/// missing under the root, outermost first.
std::vector<std::string> missingDirectories(const std::string& directory);

/// Makes missing (as missingDirectories gave them, 0755) with a file `name`
/// (0600) holding text in the innermost: built under a hidden temporary name
/// beside the outermost, fsynced, and renamed into place (never over
/// anything). False with errno set (EEXIST: the place was taken meanwhile),
/// nothing left behind.
bool placeInNewDirectories(const std::vector<std::string>& missing, const std::string& name,
                           const std::string& text);

/// Takes away the file `name` in the innermost of made (absolute, without
/// the system root, outermost first) together with the directories, in one
/// rename of the outermost to a hidden temporary (the moment the file is
/// gone: taken) and then the temporary's removal: a kill leaves either the
/// file with its directories or a temporary. Nothing is done (taken false)
/// when made holds anything else; then the caller removes the file first and
/// its directories after. False with errno set when nothing was done or the
/// rename could not be made durable.
bool removeWithNewDirectories(const std::vector<std::string>& made, const std::string& name,
                              bool& taken);

/// Removes what a run killed while building them left: the hidden
/// temporaries of directory and of each of its parents, whole. Their paths
/// (with the root) are added to removed.
void removeNewDirectoryTemporaries(const std::string& directory, std::vector<std::string>& removed);

}  // namespace detail
}  // namespace KESP
