#include "diff_text.h"

#include <algorithm>
#include <vector>

namespace kesp_config_net {

namespace {

const size_t kContext = 3;
/// Beyond this many cells the middle is shown as removed and added whole: a
/// line-by-line match would cost more memory than the diff is worth.
const size_t kMaxTableCells = 4 * 1024 * 1024;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

/// One line of the edit script: ' ' kept, '-' removed, '+' added.
struct Edit {
  char kind;
  size_t oldLine, newLine;  // the line's index on each side (the next one for '+'/'-')
};

/// The edit script between the two: common head and tail taken off first,
/// the middle matched by longest common subsequence.
std::vector<Edit> editScript(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  const size_t n = a.size() - head - tail, m = b.size() - head - tail;
  std::vector<Edit> edits;
  for (size_t i = 0; i < head; ++i) edits.push_back({' ', i, i});
  if (n * m <= kMaxTableCells) {
    // lengths[i][j]: the longest common run of a[head+i..] and b[head+j..].
    std::vector<std::vector<unsigned>> lengths(n + 1, std::vector<unsigned>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
      for (size_t j = m; j-- > 0;)
        lengths[i][j] = a[head + i] == b[head + j] ? lengths[i + 1][j + 1] + 1
                                                   : std::max(lengths[i + 1][j], lengths[i][j + 1]);
    size_t i = 0, j = 0;
    while (i < n || j < m) {
      if (i < n && j < m && a[head + i] == b[head + j]) {
        edits.push_back({' ', head + i++, head + j++});
      } else if (i < n && (j == m || lengths[i + 1][j] >= lengths[i][j + 1])) {
        edits.push_back({'-', head + i++, head + j});
      } else {
        edits.push_back({'+', head + i, head + j++});
      }
    }
  } else {
    for (size_t i = 0; i < n; ++i) edits.push_back({'-', head + i, head});
    for (size_t j = 0; j < m; ++j) edits.push_back({'+', head + n, head + j});
  }
  for (size_t k = 0; k < tail; ++k) edits.push_back({' ', head + n + k, head + m + k});
  return edits;
}

std::string range(size_t start, size_t count) {
  // An empty range names the line before it, as diff does.
  const size_t first = count == 0 ? start : start + 1;
  return std::to_string(first) + (count == 1 ? "" : "," + std::to_string(count));
}

}  // namespace

std::string unifiedDiff(const std::string& path, bool existed, const std::string& before,
                        bool exists, const std::string& after) {
  if (existed == exists && before == after) return "";
  const std::vector<std::string> a = linesOf(existed ? before : "");
  const std::vector<std::string> b = linesOf(exists ? after : "");
  const std::vector<Edit> edits = editScript(a, b);
  std::string out = "--- " + (existed ? "a" + path : std::string("/dev/null")) + "\n" + "+++ " +
                    (exists ? "b" + path : std::string("/dev/null")) + "\n";
  size_t k = 0;
  while (k < edits.size()) {
    while (k < edits.size() && edits[k].kind == ' ') ++k;
    if (k == edits.size()) break;
    // A hunk: from the context before this change to the context after the
    // last change that lies within twice the context of the one before.
    const size_t start = k >= kContext ? k - kContext : 0;
    size_t end = k;
    for (size_t quiet = 0; end < edits.size() && quiet <= 2 * kContext; ++end)
      quiet = edits[end].kind == ' ' ? quiet + 1 : 0;
    while (end > k && edits[end - 1].kind == ' ') --end;
    end = std::min(edits.size(), end + kContext);
    size_t oldCount = 0, newCount = 0;
    std::string body;
    for (size_t e = start; e < end; ++e) {
      const Edit& edit = edits[e];
      const std::string& line = edit.kind == '+' ? b[edit.newLine] : a[edit.oldLine];
      body += edit.kind + line + "\n";
      oldCount += edit.kind != '+';
      newCount += edit.kind != '-';
    }
    out += "@@ -" + range(edits[start].oldLine, oldCount) + " +" +
           range(edits[start].newLine, newCount) + " @@\n" + body;
    k = end;
  }
  return out;
}

std::string maskPasswords(const std::string& text) {
  std::string out = text;
  size_t scheme = 0;
  while ((scheme = out.find("://", scheme)) != std::string::npos) {
    const size_t userStart = scheme + 3;
    const size_t at = out.find('@', userStart);
    const size_t stop = out.find_first_of(" \t\n\"'/", userStart);
    scheme = userStart;
    if (at == std::string::npos || (stop != std::string::npos && stop < at)) continue;
    const size_t colon = out.find(':', userStart);
    if (colon == std::string::npos || colon > at) continue;
    out.replace(colon + 1, at - colon - 1, "********");
  }
  return out;
}

}  // namespace kesp_config_net
