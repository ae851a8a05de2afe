#include "banner.h"

#include <algorithm>

namespace kesp_console {

const char* const kBannerLines[kBannerRows] = {
    "            NO NETWORKING DETECTED. PLEASE LOGIN AND RUN THE COMMAND            ",
    "                      /opt/tolvex/share/kesp/kesp_config_net                    ",
    "                            TO CONFIGURE THE NETWORK.                           ",
};

namespace {

int columnsOf(const std::string& text) {
  int columns = 0;
  for (char c : text) columns += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  return columns;
}

/// The bytes of text's first `columns` characters.
size_t bytesFor(const std::string& text, int columns) {
  size_t bytes = 0;
  for (int used = 0; bytes < text.size(); ++bytes) {
    if ((static_cast<unsigned char>(text[bytes]) & 0xc0) != 0x80 && used++ == columns) break;
  }
  return bytes;
}

}  // namespace

bool bannerColumn(int columns, int& column) {
  if (columns < static_cast<int>(kBannerWidth)) return false;
  column = (columns - static_cast<int>(kBannerWidth)) / 2;
  return true;
}

std::vector<std::string> warningLines(const StatusChoice& choice) {
  std::vector<std::string> lines(kBannerLines, kBannerLines + kBannerRows);
  if (choice.address.empty() && !choice.unconfiguredInterface.empty())
    lines[0] = choice.unconfiguredInterface + " HOLDS " + choice.unconfiguredAddress +
               " BUT IS CONFIGURED NOWHERE. PLEASE LOGIN AND RUN THE COMMAND";
  if (choice.address.empty() && !choice.cause.empty()) lines.push_back(choice.cause);
  return lines;
}

std::vector<std::string> wrapText(const std::string& text, int width) {
  std::vector<std::string> rows;
  if (width < 1) return rows;
  std::string row;
  size_t at = 0;
  while (at < text.size()) {
    const size_t start = text.find_first_not_of(' ', at);
    if (start == std::string::npos) break;
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(start, end - start);
    at = end;
    while (!word.empty()) {
      const int room = width - columnsOf(row) - (row.empty() ? 0 : 1);
      if (columnsOf(word) <= room) {
        row += (row.empty() ? "" : " ") + word;
        word.clear();
      } else if (!row.empty()) {
        rows.push_back(row);
        row.clear();
      } else {
        const size_t piece = bytesFor(word, width);
        rows.push_back(word.substr(0, piece));
        word.erase(0, piece);
      }
    }
  }
  if (!row.empty()) rows.push_back(row);
  return rows;
}

std::vector<std::string> warningRows(const std::vector<std::string>& lines, int columns,
                                     int& column) {
  const bool wide = bannerColumn(columns, column);
  if (!wide) column = 0;
  const int width = std::max(1, std::min(columns, static_cast<int>(kBannerWidth)));
  std::vector<std::string> rows;
  for (const std::string& line : lines) {
    if (wide && columnsOf(line) == static_cast<int>(kBannerWidth)) {
      rows.push_back(line);
      continue;
    }
    for (const std::string& text : wrapText(line, width)) {
      const int blanks = width - columnsOf(text);
      rows.push_back(std::string(static_cast<size_t>(blanks / 2), ' ') + text +
                     std::string(static_cast<size_t>(blanks - blanks / 2), ' '));
    }
  }
  return rows;
}

}  // namespace kesp_console
