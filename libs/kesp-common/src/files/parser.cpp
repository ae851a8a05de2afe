#include "kesp/parser.h"

#include <boost/regex.hpp>

#include "files/file_write.h"
#include "files/program_rule.h"
#include "kesp/log.h"

namespace KESP {

namespace {
const std::string kEmpty;
}

int Parser::load(const std::string& path) {
  if (!detail::readWholeFile(path, text_)) {
    KESP_LOG(LOG_DEBUG, "load", "failed to read file " << path);
    return -1;
  }
  return 0;
}

int Parser::execute(const std::string& command) {
  if (!detail::programMayRun("execute", command)) return -1;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    KESP_LOG(LOG_DEBUG, "execute", "failed to execute " << command);
    return -1;
  }
  read_stream(text_, pipe);
  pclose(pipe);
  return 0;
}

bool Parser::search(const std::string& pattern, bool allMatches) {
  matches_.clear();
  index_ = 0;
  boost::regex expression(pattern);
  std::string::const_iterator start = text_.begin();
  const std::string::const_iterator end = text_.end();
  boost::match_flag_type flags = boost::match_default;
  boost::smatch match;
  while (boost::regex_search(start, end, match, expression, flags)) {
    std::vector<std::string> groups;
    for (size_t i = 1; i < match.size(); ++i)
      groups.push_back(match[i].matched ? match[i].str() : std::string());
    matches_.push_back(std::move(groups));
    if (!allMatches) break;
    start = match[0].second;
    if (match[0].first == match[0].second) {
      // An empty match would be found again at the same place: step over one character.
      if (start == end) break;
      ++start;
    }
    flags = boost::match_default | boost::match_prev_avail | boost::match_not_bob;
  }
  return !matches_.empty();
}

unsigned Parser::groupCount() const {
  if (index_ >= matches_.size()) return 0;
  return static_cast<unsigned>(matches_[index_].size());
}

const std::string& Parser::get(unsigned i) const {
  if (index_ >= matches_.size() || i >= matches_[index_].size()) return kEmpty;
  return matches_[index_][i];
}

bool Parser::next() {
  if (index_ + 1 >= matches_.size()) return false;
  ++index_;
  return true;
}

bool regex_full_match(const std::string& pattern, const std::string& text) {
  boost::regex expression(pattern);
  return boost::regex_match(text, expression);
}

void read_stream(std::string& out, FILE* stream) {
  out.clear();
  char block[1024];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block - 1, stream)) > 0) {
    block[n] = '\0';
    out.append(block);  // a NUL byte ends what the block contributes: the data is text
  }
}

}  // namespace KESP
