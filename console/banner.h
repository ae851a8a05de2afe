#pragma once
// The no-network warning of the status pane: three lines of exactly 80
// characters, shown verbatim (never translated) so that the command it names
// reads the same in every language.

#include <string>

namespace kesp_console {

constexpr int kBannerRows = 3;
constexpr unsigned kBannerWidth = 80;
extern const char* const kBannerLines[kBannerRows];

/// Column at which the banner is centred on a screen of `columns` columns.
/// False when the banner does not fit (narrower than 80 columns): it is then
/// left out and the welcome text starts at the top.
bool bannerColumn(int columns, int& column);

}  // namespace kesp_console
