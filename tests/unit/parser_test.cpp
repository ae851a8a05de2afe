#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "kesp/log.h"
#include "kesp/parser.h"
#include "kesp/util.h"
#include "openssl_base64.h"
#include "test_support.h"

using namespace KESP;

namespace {

TEST(ParserTest, FirstMatchGroupsAndMissingGroups) {
  Parser parser("inet 10.0.0.1/24 brd 10.0.0.255\ninet 10.0.0.2/24\n");
  ASSERT_TRUE(parser.search(R"(inet ([0-9.]+)/(\d+)( brd ([0-9.]+))?)"));
  EXPECT_EQ(parser.matchCount(), 1u);
  EXPECT_EQ(parser.groupCount(), 4u);
  EXPECT_EQ(parser.get(0), "10.0.0.1");
  EXPECT_EQ(parser.get(1), "24");
  EXPECT_EQ(parser.get(3), "10.0.0.255");
  EXPECT_EQ(parser.get(9), "");  // beyond the groups: empty, never an error
  EXPECT_FALSE(parser.next());
  EXPECT_EQ(parser.get(0), "10.0.0.1");
}

TEST(ParserTest, AllMatchesInOrderWithNonParticipatingGroups) {
  Parser parser("inet 10.0.0.1/24 brd 10.0.0.255\ninet 10.0.0.2/24\n");
  ASSERT_TRUE(parser.search(R"(inet ([0-9.]+)/(\d+)( brd ([0-9.]+))?)", true));
  ASSERT_EQ(parser.matchCount(), 2u);
  ASSERT_TRUE(parser.next());
  EXPECT_EQ(parser.get(0), "10.0.0.2");
  EXPECT_EQ(parser.get(3), "");
  EXPECT_FALSE(parser.next());
}

TEST(ParserTest, AllMatchesSeesTextBeforeStart) {
  // Word boundaries and anchors must see the character before each new start.
  Parser parser("ab ab aab");
  ASSERT_TRUE(parser.search(R"(\bab)", true));
  EXPECT_EQ(parser.matchCount(), 2u);
  Parser lines("x1\nx2\nyx3");
  ASSERT_TRUE(lines.search(R"(^x(\d))", true));
  EXPECT_EQ(lines.matchCount(), 2u);
}

TEST(ParserTest, ZeroLengthMatchesEnd) {
  struct Case {
    std::string text, pattern;
    unsigned count;
  } cases[] = {{"abc", "x*", 4}, {"", "x*", 1}, {"a1b", R"((\d*))", 4}};
  for (const Case& c : cases) {
    Parser parser(c.text);
    EXPECT_TRUE(parser.search(c.pattern, true)) << c.pattern;
    EXPECT_EQ(parser.matchCount(), c.count) << c.text << " " << c.pattern;
  }
}

TEST(ParserTest, NoGroupsAndNoMatch) {
  Parser parser("hello");
  EXPECT_TRUE(parser.search("ell"));
  EXPECT_EQ(parser.groupCount(), 0u);
  EXPECT_EQ(parser.get(0), "");
  EXPECT_FALSE(parser.search("xyz"));
  EXPECT_EQ(parser.matchCount(), 0u);
  EXPECT_EQ(parser.groupCount(), 0u);
}

TEST(ParserTest, LoadAndExecute) {
  kesp_test::TempDir dir;
  kesp_test::writeFile(dir / "f", "one\ntwo");
  Parser parser("old");
  EXPECT_EQ(parser.load(dir / "f"), 0);
  EXPECT_EQ(parser.text(), "one\ntwo");
  kesp_test::LogCapture log(LOG_DEBUG);
  EXPECT_EQ(parser.load(dir / "missing"), -1);
  EXPECT_EQ(parser.text(), "one\ntwo");
  EXPECT_TRUE(log.contains("[DEBUG] failed to read file " + (dir / "missing")));
  EXPECT_EQ(parser.execute("printf 'out\\n'; exit 3"), 0);
  EXPECT_EQ(parser.text(), "out\n");
}

TEST(ParserTest, ReadStreamTakesLargeInput) {
  std::string big(100000, 'x');
  kesp_test::TempDir dir;
  kesp_test::writeFile(dir / "big", big);
  Parser parser;
  ASSERT_EQ(parser.load(dir / "big"), 0);
  EXPECT_EQ(parser.text(), big);
}

TEST(ParserTest, FullMatch) {
  EXPECT_TRUE(regex_full_match(R"(\d+)", "123"));
  EXPECT_FALSE(regex_full_match(R"(\d+)", "123a"));
  EXPECT_FALSE(regex_full_match(R"(\d+)", ""));
}

TEST(EncodingTest, Base64BothWays) {
  struct Case {
    std::string plain, encoded;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {std::string("\x00\xff\x10", 3), "AP8Q"},
      {std::string(100, 'a'), std::string(136, ' ')},  // length only: one unbroken line
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    ASSERT_TRUE(encode(c.plain, ENCODING_BASE64, out));
    if (c.encoded.find(' ') == std::string::npos) {
      EXPECT_EQ(out, c.encoded);
    }
    EXPECT_EQ(out.size(), c.encoded.size());
    EXPECT_EQ(out.find('\n'), std::string::npos);
    std::string back = "stale";
    ASSERT_TRUE(decode(ENCODING_BASE64, out, back));
    EXPECT_EQ(back, c.plain);
  }
}

// Stored values written or damaged by hand read exactly as they did when
// OpenSSL decoded them: the tricky inputs by name, then generated ones that
// cross the decoder's 1,024-character blocks.
TEST(EncodingTest, Base64MatchesOpenSsl) {
  const std::string block(1024, 'Q'), blanks(1024, ' ');
  std::vector<std::string> inputs = {
      "QUJD", "QUJDRA", "QUJDRA=", "QUJDRA==", "QR==", "QQ=A", "====", "QQ==QUJD", "QUJD====",
      "  QUJD", "\tQUJD", "QUJD  ", "QUJD\r\n", "QUJD\n\n\n\n", "QU JD", "QUJD\nQUJD", "QUJD-",
      "QUJD-RA==", "QUJ*", "Q", "QU\n\n", std::string("QU\0JD", 5), "\xc3\xa9QUJD",
      block + "QUJD", block + "QUJ", blanks + "QUJD", block.substr(2) + "==QUJD",
      block.substr(8) + "\n\n\n\n\n\n\n\n" + blanks + "QUJD", block + block.substr(1) + "*"};
  std::mt19937 random(16);
  const std::string alphabet = "AQgw09+/=  \t\n\r-*\x80\x0b";
  for (int i = 0; i < 3000; ++i) {
    std::string text(random() % (i % 10 == 0 ? 2600 : 24), 'A');
    for (char& c : text)
      c = random() % 4 ? "QUJDqd09+/"[random() % 10] : alphabet[random() % alphabet.size()];
    inputs.push_back(text);
  }
  for (const std::string& text : inputs) {
    SCOPED_TRACE(testing::PrintToString(text.substr(0, 40)) + " of " + std::to_string(text.size()));
    std::string decoded, encoded;
    ASSERT_TRUE(decode(ENCODING_BASE64, text, decoded));
    EXPECT_EQ(kesp_reference::opensslBase64Decode(text), decoded);
    ASSERT_TRUE(encode(text, ENCODING_BASE64, encoded));
    EXPECT_EQ(kesp_reference::opensslBase64Encode(text), encoded);
  }
}

TEST(EncodingTest, NamesAndPlaintext) {
  std::string out = "kept";
  EXPECT_FALSE(encode("x", ENCODING_PLAINTEXT, out));
  EXPECT_FALSE(encode("x", "rot13", out));
  EXPECT_EQ(out, "kept");
  EXPECT_TRUE(decode(ENCODING_PLAINTEXT, "a=b", out));
  EXPECT_EQ(out, "a=b");
  EXPECT_FALSE(decode("hex", "00", out));
  EXPECT_EQ(out, "a=b");
  EXPECT_TRUE(decode(ENCODING_BASE64, "!!!", out));  // undecodable: not an error
}

TEST(EncodingTest, CaseConversion) {
  EXPECT_EQ(to_lower("WaRn 1\xC4"), "warn 1\xC4");
  EXPECT_EQ(to_upper("eth0:x"), "ETH0:X");
}

}  // namespace
