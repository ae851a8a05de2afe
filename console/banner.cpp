#include "banner.h"

namespace kesp_console {

const char* const kBannerLines[kBannerRows] = {
    "            NO NETWORKING DETECTED. PLEASE LOGIN AND RUN THE COMMAND            ",
    "                      /opt/tolvex/share/kesp/kesp_config_net                    ",
    "                            TO CONFIGURE THE NETWORK.                           ",
};

bool bannerColumn(int columns, int& column) {
  if (columns < static_cast<int>(kBannerWidth)) return false;
  column = (columns - static_cast<int>(kBannerWidth)) / 2;
  return true;
}

}  // namespace kesp_console
