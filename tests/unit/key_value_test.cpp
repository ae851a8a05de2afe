#include <gtest/gtest.h>

#include "kesp/util.h"
#include "files/key_line.h"
#include "test_support.h"

using namespace KESP;

namespace {

KeyValueFile fileOf(char separator, std::list<std::string> lines, bool collapse = false) {
  KeyValueFile file(separator, collapse);
  file.lines = std::move(lines);
  return file;
}

TEST(KeyLineTest, Grammar) {
  struct Case {
    std::string line;
    char separator;
    bool collapse;
    bool mayLead;
    bool isKey;
    std::string key, value;
  } cases[] = {
      {"A=1", '=', false, false, true, "A", "1"},
      {"  A = 3 ", '=', false, false, true, "A", "3 "},
      {"# A=2", '=', false, false, false, "", ""},
      {"  ; A=2", '=', false, false, false, "", ""},
      {"", '=', false, false, false, "", ""},
      {"   ", '=', false, false, false, "", ""},
      {"novalue", '=', false, false, false, "", ""},
      {"X=\"a b\" # c", '=', false, false, true, "X", "\"a b\" # c"},
      {"A==b", '=', false, false, true, "A", "=b"},
      {"A==b", '=', true, false, true, "A=", "b"},
      {"=v", '=', false, false, false, "", ""},
      {"=v", '=', false, true, true, "", "v"},
      {"nameserver 10.0.0.1", ' ', false, false, true, "nameserver", "10.0.0.1"},
      {"nameserver   10.0.0.1", ' ', true, false, true, "nameserver", "10.0.0.1"},
      {"nameserver", ' ', false, false, false, "", ""},
      {"\tsearch\ta b", '\t', false, false, true, "search", "a b"},
  };
  for (const Case& c : cases) {
    std::string key = "?", value = "?";
    bool isKey = detail::parseKeyLine(c.line, c.separator, c.collapse, c.mayLead, key, value);
    EXPECT_EQ(isKey, c.isKey) << "'" << c.line << "'";
    if (c.isKey) {
      EXPECT_EQ(key, c.key) << c.line;
      EXPECT_EQ(value, c.value) << c.line;
    }
  }
}

TEST(KeyValueFileTest, GetAllGetAndComments) {
  KeyValueFile file = fileOf('=', {"A=1", "# A=2", "  A = 3 ", "AB=4", "B=\"q\""});
  std::vector<std::string> values;
  EXPECT_TRUE(file.getAll("A", values));
  EXPECT_EQ(values, (std::vector<std::string>{"1", "3 "}));
  std::string value = "untouched";
  EXPECT_TRUE(file.get("A", value));
  EXPECT_EQ(value, "1");
  EXPECT_TRUE(file.get("B", value));
  EXPECT_EQ(value, "\"q\"");
  value = "untouched";
  EXPECT_FALSE(file.get("C", value));
  EXPECT_EQ(value, "untouched");
}

TEST(KeyValueFileTest, SetReplacesInPlaceAppendsAndErases) {
  struct Case {
    std::list<std::string> before;
    std::vector<std::string> values;
    std::list<std::string> after;
  } cases[] = {
      {{"A=0", "x", "A=1", "A=2", "y"}, {"x", "y"}, {"A=x", "x", "A=y", "y"}},
      {{"# c", "B=1"}, {"x", "y"}, {"# c", "B=1", "A=x", "A=y"}},
      {{"A=0", "B=1", "A=2"}, {}, {"B=1"}},
      {{"  A = 0  "}, {"new value"}, {"A=new value"}},
      {{"A=1"}, {"1", "2", "3"}, {"A=1", "A=2", "A=3"}},
  };
  for (Case& c : cases) {
    KeyValueFile file = fileOf('=', c.before);
    EXPECT_TRUE(file.set("A", c.values));
    EXPECT_EQ(file.lines, c.after);
  }
}

TEST(KeyValueFileTest, SectionForms) {
  struct Case {
    std::list<std::string> before;
    std::string section;
    std::vector<std::string> values;
    std::list<std::string> after;
  } cases[] = {
      // Inserted directly after the header; several new values in reverse order.
      {{"[main]", "B=1", "[other]", "A=9"}, "main", {"x"}, {"[main]", "A=x", "B=1", "[other]", "A=9"}},
      {{"[main]", "B=1"}, "main", {"x", "y"}, {"[main]", "A=y", "A=x", "B=1"}},
      // No header: appended with the header.
      {{"B=1"}, "main", {"x", "y"}, {"B=1", "[main]", "A=y", "A=x"}},
      // The section with the empty name, absent key.
      {{"B=1"}, "", {"x"}, {"B=1", "[]", "A=x"}},
      // Replaced in its own section only.
      {{"A=0", "[main]", "A=1", "[x]", "A=2"}, "main", {"z"}, {"A=0", "[main]", "A=z", "[x]", "A=2"}},
      // Lines before the first header belong to the empty section.
      {{"A=0", "[main]", "A=1"}, "", {"z"}, {"A=z", "[main]", "A=1"}},
      // A header with trailing blanks is not a header when reading.
      {{"[main] ", "A=1"}, "", {"z"}, {"[main] ", "A=z"}},
      {{"[main]", "A=1", "A=2"}, "main", {}, {"[main]"}},
  };
  for (Case& c : cases) {
    KeyValueFile file = fileOf('=', c.before);
    EXPECT_TRUE(file.set(c.section, "A", c.values));
    EXPECT_EQ(file.lines, c.after) << c.section;
  }
}

TEST(KeyValueFileTest, FindAndRemoveWithSections) {
  KeyValueFile file = fileOf('=', {"A=0", "[s]", "A=1", "B=2", "[t]", "A=3"});
  std::vector<std::string> values{"pre"};
  std::vector<KeyValueFile::Position> positions;
  EXPECT_EQ(file.find("s", "A", values, positions), 2u);  // appended to what was there
  EXPECT_EQ(values, (std::vector<std::string>{"pre", "1"}));
  EXPECT_EQ(*positions.at(0), "A=1");
  EXPECT_TRUE(file.remove("t", "A"));
  EXPECT_FALSE(file.remove("t", "A"));
  EXPECT_TRUE(file.remove("A"));
  EXPECT_EQ(file.lines, (std::list<std::string>{"[s]", "B=2", "[t]"}));
}

TEST(KeyValueFileTest, BlankSeparatorResolvStyle) {
  KeyValueFile file = fileOf(' ', {"nameserver 10.0.0.1", "nameserver", "search lan"});
  std::vector<std::string> values;
  file.getAll("nameserver", values);
  EXPECT_EQ(values, std::vector<std::string>{"10.0.0.1"});
  file.set("nameserver", std::vector<std::string>{"1.1.1.1", "::1"});
  EXPECT_EQ(file.lines,
            (std::list<std::string>{"nameserver 1.1.1.1", "nameserver", "search lan", "nameserver ::1"}));
}

TEST(KeyValueFileOpsTest, GetTakesLastLine) {
  kesp_test::TempDir dir;
  kesp_test::writeFile(dir / "f", "A=1\n# A=2\n  A = 3 \n=empty\n");
  std::string value = "untouched";
  EXPECT_TRUE(get_keyvalue_file(dir / "f", "A", value));
  EXPECT_EQ(value, "3 ");
  EXPECT_TRUE(get_keyvalue_file(dir / "f", "", value));
  EXPECT_EQ(value, "empty");
  value = "untouched";
  EXPECT_FALSE(get_keyvalue_file(dir / "f", "B", value));
  EXPECT_FALSE(get_keyvalue_file(dir / "missing", "A", value));
  EXPECT_EQ(value, "untouched");
}

TEST(KeyValueFileOpsTest, SetRewritesFile) {
  struct Case {
    std::string before;  // "<missing>" for no file
    std::string value;
    std::string after;
  } cases[] = {
      {"B=2\nA=1\nA=1\n", "5", "B=2\nA=5\n"},
      {"B=2\nA=1\nA=1\n", "1", "B=2\nA=1\nA=1\n"},  // already there: untouched
      {"<missing>", "5", "A=5\n"},
      {"# x\n  A = 0\nB=2", "5", "# x\nA=5\nB=2\n"},
      {"B=2\n", "a b", "B=2\nA=a b\n"},
      {"", "5", "A=5\n"},
  };
  for (const Case& c : cases) {
    kesp_test::TempDir dir;
    std::string path = dir / "f";
    if (c.before != "<missing>") kesp_test::writeFile(path, c.before);
    EXPECT_TRUE(set_keyvalue_file(path, "A", c.value));
    EXPECT_EQ(kesp_test::readFile(path), c.after) << c.before;
  }
}

}  // namespace
