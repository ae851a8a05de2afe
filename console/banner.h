#pragma once
// The no-network warning of the status pane: three lines of exactly 80
// characters, shown verbatim (never translated) so that the command it names
// reads the same in every language. A narrower screen gets the same words
// wrapped to its width: the warning is never left out.

#include <string>
#include <vector>

#include "status_choice.h"

namespace kesp_console {

constexpr int kBannerRows = 3;
constexpr unsigned kBannerWidth = 80;
extern const char* const kBannerLines[kBannerRows];

/// Column at which the banner is centred on a screen of `columns` columns.
/// False when the 80-character lines do not fit (narrower than 80 columns).
bool bannerColumn(int columns, int& column);

/// The warning's lines for what the check found: the banner, whose first line
/// says instead that an interface holds an address while no interface file
/// configures it, when that is so, and the cause under it when one was found.
std::vector<std::string> warningLines(const StatusChoice& choice);

/// The rows to draw, all equally wide, and the column of the first one. Lines
/// of 80 characters stay as they are where they fit; every other line, and
/// every line on a screen narrower than 80 columns, is wrapped at blanks to
/// the band's width (min(columns, 80); a longer word is cut into pieces) and
/// centred in the band.
std::vector<std::string> warningRows(const std::vector<std::string>& lines, int columns,
                                     int& column);

/// Text wrapped at blanks into lines of at most `width` characters (UTF-8
/// characters count one column each); a longer word is cut into pieces.
std::vector<std::string> wrapText(const std::string& text, int width);

}  // namespace kesp_console
