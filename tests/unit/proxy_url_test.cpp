// The proxy URL and the proxy lines of each file, on texts and files in memory.

#include <gtest/gtest.h>

#include "kesp/proxy.h"
#include "settings/proxy_edit.h"
#include "settings/proxy_url.h"

using namespace KESP;

namespace {

const std::string kNul("\0", 1);

TEST(UrlEscapeTest, EncodesEverythingButUnreservedBytes) {
  struct Case {
    std::string plain, escaped;
  } cases[] = {
      {"", ""},
      {"Az09-._~", "Az09-._~"},
      {"a b\tc", "a%20b%09c"},
      {"@:%/?#", "%40%3A%25%2F%3F%23"},
      {"$`\"';\\\n", "%24%60%22%27%3B%5C%0A"},
      {"\xc3\xa9\xff", "%C3%A9%FF"},
      {"a" + kNul + "b", "a%00b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.escaped);
    EXPECT_EQ(c.escaped, urlEscape(c.plain));
    EXPECT_EQ(c.plain, urlUnescape(c.escaped));
  }
}

// Text that is no escape stays as it is, as it did when libcurl decoded it.
TEST(UrlEscapeTest, DecodesOnlyWholeEscapes) {
  struct Case {
    std::string escaped, plain;
  } cases[] = {
      {"%", "%"},          {"%%", "%%"},         {"%4", "%4"},   {"abc%", "abc%"},
      {"%4g", "%4g"},      {"%zz", "%zz"},       {"% 1", "% 1"}, {"%+1", "%+1"},
      {"%%41", "%A"},      {"%4a%4A", "JJ"},     {"a+b", "a+b"}, {"%00x", kNul + "x"},
      {"%e9%C3", "\xe9\xc3"}, {"p%2", "p%2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.escaped);
    EXPECT_EQ(c.plain, urlUnescape(c.escaped));
  }
}

TEST(UrlEscapeTest, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  std::string escaped = urlEscape(all);
  EXPECT_EQ(std::string::npos, escaped.find_first_not_of(
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%"));
  EXPECT_EQ(all, urlUnescape(escaped));
}

TEST(ComposeProxyUrlTest, BuildsTheFormOfTheGivenParts) {
  struct Case {
    const char* label;
    std::string host, port, user, password;
    bool ok;
    std::string url;
  } cases[] = {
      {"host and port", "h", "123", "", "", true, "http://h:123"},
      {"no host means no proxy", "", "123", "u", "p", true, ""},
      {"empty port", "h", "", "", "", true, "http://h:80"},
      {"port 0", "h", "0", "", "", true, "http://h:80"},
      {"negative port", "h", "-5", "", "", true, "http://h:80"},
      {"port above range", "h", "65536", "", "", true, "http://h:80"},
      {"highest port", "h", "65535", "", "", true, "http://h:65535"},
      {"lowest port", "h", "1", "", "", true, "http://h:1"},
      {"leading zero kept", "h", "0080", "", "", true, "http://h:0080"},
      {"port without digits", "h", "http", "", "", true, "http://h:80"},
      {"port that wraps an int", "h", "4294967376", "", "", true, "http://h:80"},
      {"port beyond any integer", "h", "99999999999999999999999", "", "", true, "http://h:80"},
      {"digits then a letter", "h", "123a", "", "", false, ""},
      {"digits then a newline", "h", "80\nEVIL=1", "", "", false, ""},
      {"leading blank", "h", " 80", "", "", false, ""},
      {"plus sign", "h", "+80", "", "", false, ""},
      {"user only", "h", "8080", "u", "", true, "http://u@h:8080"},
      {"user and password", "h", "8080", "u", "p", true, "http://u:p@h:8080"},
      {"password without user dropped", "h", "8080", "", "p", true, "http://h:8080"},
      {"reserved bytes encoded", "h", "1", "a@b:c", "d e%f", true,
       "http://a%40b%3Ac:d%20e%25f@h:1"},
      {"non-ASCII encoded", "h", "1", "\xc3\xa9", "\xff", true, "http://%C3%A9:%FF@h:1"},
      {"shell text in credentials stays inert", "h", "1", "$(id)", "`id`;\"'", true,
       "http://%24%28id%29:%60id%60%3B%22%27@h:1"},
      {"IPv6 literal", "::1", "80", "", "", false, ""},
      {"newline in host", "h\nA=1", "80", "", "", false, ""},
      {"quote in host", "h\";Dir \"/", "80", "u", "p", false, ""},
      {"command in host", "$(reboot)", "80", "", "", false, ""},
      {"semicolon in host", "h;x", "80", "", "", false, ""},
      {"blank in host", "h x", "80", "", "", false, ""},
      {"path in host", "h/x", "80", "", "", false, ""},
      {"non-ASCII host", "pr\xc3\xb6xy", "80", "", "", false, ""},
      {"name characters", "my_proxy-2.lan", "80", "", "", true, "http://my_proxy-2.lan:80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string url = "stale";
    EXPECT_EQ(c.ok, detail::composeProxyUrl(c.host, c.port, c.user, c.password, url));
    EXPECT_EQ(c.url, url);
  }
}

TEST(ParseProxyUrlTest, TellsTheFormsApart) {
  struct Case {
    const char* label;
    std::string value;
    bool ok;
    std::string host, port, user, password;
    bool hasPassword;
  } cases[] = {
      {"host and port", "http://h:3128", true, "h", "3128", "", "", false},
      {"host only", "http://proxy.local", true, "proxy.local", "80", "", "", false},
      {"user only", "http://u@h:1", true, "h", "1", "u", "", false},
      {"user and password", "http://u:p@h:1", true, "h", "1", "u", "p", true},
      {"empty password field", "http://u:@h:1", true, "h", "1", "u", "", true},
      {"decoded", "http://a%40b%3A:%20%25%C3%A9@h:1", true, "h", "1", "a@b:", " %\xc3\xa9",
       true},
      {"leading quote tolerated", "'http://h:8", true, "h", "8", "", "", false},
      {"user and password, no port", "http://u:p@h", true, "h", "80", "u", "p", true},
      {"user, no port", "http://u@h", true, "h", "80", "u", "", false},
      {"not http", "https://h:1", false, "", "", "", "", false},
      {"no scheme", "h:1", false, "", "", "", "", false},
      {"trailing slash", "http://h:1/", false, "", "", "", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    detail::ProxyParts parts;
    parts.host = "untouched";
    EXPECT_EQ(c.ok, detail::parseProxyUrl(c.value, parts));
    if (!c.ok) {
      EXPECT_EQ("untouched", parts.host);
      continue;
    }
    EXPECT_EQ(c.host, parts.host);
    EXPECT_EQ(c.port, parts.port);
    EXPECT_EQ(c.user, parts.user);
    EXPECT_EQ(c.password, parts.password);
    EXPECT_EQ(c.hasPassword, parts.hasPassword);
  }
}

TEST(ParseProxyUrlTest, ComposedUrlsComeBackAsTheyWentIn) {
  const std::string texts[] = {"u",       "a@b",          "a:b",        "100%",
                               "a b ",    "\xc3\xa9t\xe9", "%41",        "@:%",
                               "x" + kNul, "http://x:1@y"};
  for (const std::string& user : texts) {
    for (const std::string& password : {std::string(), std::string("p"), texts[3], texts[6]}) {
      SCOPED_TRACE(user + " / " + password);
      std::string url;
      ASSERT_TRUE(detail::composeProxyUrl("proxy-1.lan", "3128", user, password, url));
      detail::ProxyParts parts;
      ASSERT_TRUE(detail::parseProxyUrl(url, parts));
      EXPECT_EQ("proxy-1.lan", parts.host);
      EXPECT_EQ("3128", parts.port);
      EXPECT_EQ(user, parts.user);
      EXPECT_EQ(password, parts.password);
    }
  }
}

TEST(NoProxyTest, CompletesWithTheLocalNames) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"", "localhost,127.0.0.1,127.0.1.1"},
      {"10.0.0.0/8", "10.0.0.0/8,localhost,127.0.0.1,127.0.1.1"},
      {"127.0.1.1,localhost,127.0.0.1", "127.0.1.1,localhost,127.0.0.1"},
      {"localhost", "localhost,127.0.0.1,127.0.1.1"},
      {"\"10.0.0.0/8\"", "\"10.0.0.0/8,localhost,127.0.0.1,127.0.1.1\""},
      {"'a'", "'a,localhost,127.0.0.1,127.0.1.1'"},
      {"\"\"", "\"localhost,127.0.0.1,127.0.1.1\""},
      {"\"a'", "\"a',localhost,127.0.0.1,127.0.1.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(c.out, detail::completeNoProxy(c.in));
  }
}

using Lines = std::list<std::string>;

KeyValueFile fileOf(char separator, Lines lines) {
  KeyValueFile file(separator);
  file.lines = std::move(lines);
  return file;
}

TEST(ProxyEditTest, EnvironmentKeepsOtherLines) {
  struct Case {
    const char* label;
    Lines before;
    std::string url;
    Lines after;
  } cases[] = {
      {"empty file, proxy set", {}, "http://h:1",
       {"http_proxy=http://h:1", "https_proxy=http://h:1", "ftp_proxy=http://h:1",
        "no_proxy=localhost,127.0.0.1,127.0.1.1"}},
      {"replaced in place, duplicates dropped",
       {"PATH=/bin", "http_proxy=http://old:1", "# note", "http_proxy=x", "ftp_proxy=http://old:1",
        "no_proxy=localhost,127.0.0.1,127.0.1.1"},
       "http://h:1",
       {"PATH=/bin", "http_proxy=http://h:1", "# note", "ftp_proxy=http://h:1",
        "no_proxy=localhost,127.0.0.1,127.0.1.1", "https_proxy=http://h:1"}},
      {"removed, no_proxy still completed",
       {"http_proxy=http://old:1", "no_proxy=10.0.0.0/8", "LANG=C"}, "",
       {"no_proxy=10.0.0.0/8,localhost,127.0.0.1,127.0.1.1", "LANG=C"}},
      {"upper-case forms follow where the file has them",
       {"HTTP_PROXY=http://old:1", "FTP_PROXY=http://old:1"}, "http://h:1",
       {"HTTP_PROXY=http://h:1", "FTP_PROXY=http://h:1", "http_proxy=http://h:1",
        "https_proxy=http://h:1", "ftp_proxy=http://h:1", "no_proxy=localhost,127.0.0.1,127.0.1.1"}},
      {"every scheme cleared together",
       {"http_proxy=a", "https_proxy=a", "ftp_proxy=a", "HTTPS_PROXY=a", "LANG=C"}, "",
       {"LANG=C", "no_proxy=localhost,127.0.0.1,127.0.1.1"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.label);
    KeyValueFile file = fileOf('=', c.before);
    detail::editEnvironmentProxy(file, c.url);
    EXPECT_EQ(c.after, file.lines);
  }
}

TEST(ProxyEditTest, PackageManagerFiles) {
  struct Case {
    const char* label;
    void (*edit)(KeyValueFile&, const std::string&);
    char separator;
    Lines before;
    std::string url;
    Lines after;
  } cases[] = {
      {"apt set", detail::editAptProxy, ' ',
       {"APT::Get::Assume-Yes \"true\";", "Acquire::http::Proxy \"http://old:1\";"}, "http://h:1",
       {"APT::Get::Assume-Yes \"true\";", "Acquire::http::Proxy \"http://h:1\";",
        "Acquire::https::Proxy \"http://h:1\";", "Acquire::ftp::Proxy \"http://h:1\";"}},
      {"apt cleared", detail::editAptProxy, ' ', {}, "",
       {"Acquire::http::Proxy \"\";", "Acquire::https::Proxy \"\";", "Acquire::ftp::Proxy \"\";"}},
      {"yum set into main", detail::editYumProxy, '=',
       {"[main]", "gpgcheck=1", "[other]", "proxy=keep"}, "http://h:1",
       {"[main]", "proxy=http://h:1", "gpgcheck=1", "[other]", "proxy=keep"}},
      {"yum without main", detail::editYumProxy, '=', {"[base]", "x=1"}, "http://h:1",
       {"[base]", "x=1", "[main]", "proxy=http://h:1"}},
      {"yum removed from main only", detail::editYumProxy, '=',
       {"[main]", "proxy=http://old:1", "[other]", "proxy=keep"}, "",
       {"[main]", "[other]", "proxy=keep"}},
      {"suse set", detail::editSuseProxy, '=',
       {"PROXY_ENABLED=\"no\"", "HTTP_PROXY=\"\"", "NO_PROXY=\"localhost\""}, "http://u:p@h:1",
       {"PROXY_ENABLED=\"yes\"", "HTTP_PROXY=\"http://u:p@h:1\"", "NO_PROXY=\"localhost\"",
        "HTTPS_PROXY=\"http://u:p@h:1\"", "FTP_PROXY=\"http://u:p@h:1\""}},
      {"suse cleared", detail::editSuseProxy, '=', {}, "",
       {"PROXY_ENABLED=\"no\"", "HTTP_PROXY=\"\"", "HTTPS_PROXY=\"\"", "FTP_PROXY=\"\""}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.label);
    KeyValueFile file = fileOf(c.separator, c.before);
    c.edit(file, c.url);
    EXPECT_EQ(c.after, file.lines);
  }
}

}  // namespace
