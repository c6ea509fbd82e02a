#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "net/CUrl.h"

namespace qlm {
namespace {

using Opt = std::optional<std::string>;
constexpr std::nullopt_t kNone = std::nullopt;

std::string Show(const Opt& value) {
  return value ? "\"" + *value + "\"" : "(none)";
}

// The parts that normalisation decides, for a URL that must parse.
struct Normalised {
  std::string input;
  std::string text;
  std::string path;
  std::string directory;
  std::string directory_url;
  Opt file_name;
  Opt extension;
  int32_t file_type;
};

TEST(CUrlParse, NormalisesPathsAndDerivesTheFileParts) {
  const std::vector<Normalised> cases = {
      {"HTTP://host", "http://host/", "/", "", "http://host", kNone, kNone, kFileTypeNone},
      {"http://host/a/./b/../c.HTML", "http://host/a/c.HTML", "/a/c.HTML", "/a", "http://host/a",
       "c.HTML", "html", kFileTypeHtml},
      {"http://host/a//b/", "http://host/a/b/", "/a/b/", "/a/b", "http://host/a/b", kNone, kNone,
       kFileTypeNone},
      {"http://host/a//", "http://host/a/", "/a/", "/a", "http://host/a", kNone, kNone,
       kFileTypeNone},
      {"http://host//x", "http://host/x", "/x", "", "http://host", "x", kNone, kFileTypeNone},
      // Everything folds away: the directory becomes the site URL.
      {"http://host/a/..", "http://host/", "/", "http://host", "http://host", kNone, kNone,
       kFileTypeNone},
      {"http://host/.", "http://host/", "/", "http://host", "http://host", kNone, kNone,
       kFileTypeNone},
      {"http://host/a/.", "http://host/a", "/a", "", "http://host", "a", kNone, kFileTypeNone},
      // Escapes are decoded once and written again where a path needs them.
      {"http://host/%7Euser/%41b.jpeg", "http://host/%7euser/Ab.jpeg", "/%7euser/Ab.jpeg",
       "/%7euser", "http://host/%7euser", "Ab.jpeg", "jpeg", kFileTypeJpeg},
      {"http://host/a%2Fb.gif", "http://host/a/b.gif", "/a/b.gif", "/a", "http://host/a", "b.gif",
       "gif", kFileTypeGif},
      {"http://host/a/%2e%2E/b.cgi", "http://host/b.cgi", "/b.cgi", "", "http://host", "b.cgi",
       "cgi", kFileTypeCgi},
      {"http://host/a b\t<\"\\", "http://host/a%20b%09%3c%22%5c", "/a%20b%09%3c%22%5c", "",
       "http://host", "a%20b%09%3c%22%5c", kNone, kFileTypeNone},
      {"http://host/\x89\xe6.JPG", "http://host/%89%e6.JPG", "/%89%e6.JPG", "", "http://host",
       "%89%e6.JPG", "jpg", kFileTypeJpeg},
      {"http://host/%00%7f%80%ff", "http://host/%00%7f%80%ff", "/%00%7f%80%ff", "", "http://host",
       "%00%7f%80%ff", kNone, kFileTypeNone},
      {"http://host/a$-_+!*'(),;:@&=b", "http://host/a$-_+!*'(),;:@&=b", "/a$-_+!*'(),;:@&=b", "",
       "http://host", "a$-_+!*'(),;:@&=b", kNone, kFileTypeNone},
      // A decoded "%" stands for itself: "%2541" is the three bytes "%41", never "A".
      {"http://host/100%25/a%2541", "http://host/100%25/a%2541", "/100%25/a%2541", "/100%25",
       "http://host/100%25", "a%2541", kNone, kFileTypeNone},
      {"http://host/name.", "http://host/name.", "/name.", "", "http://host", "name.", "",
       kFileTypeOther},
      {"http://host/a.b/pack.tar.GZ", "http://host/a.b/pack.tar.GZ", "/a.b/pack.tar.GZ", "/a.b",
       "http://host/a.b", "pack.tar.GZ", "gz", kFileTypeOther},
      {"http://host/x.gif/", "http://host/x.gif/", "/x.gif/", "/x.gif", "http://host/x.gif", kNone,
       kNone, kFileTypeNone},
      {"file:///c:/x/..", "file:///c:", "/c:", "", "file://", "c:", kNone, kFileTypeNone},
      {"file:///..", "file:///", "/", "file://", "file://", kNone, kNone, kFileTypeNone},
      {"file:///c:/a//b", "file:///c:/a//b", "/c:/a//b", "/c:/a/", "file:///c:/a/", "b", kNone,
       kFileTypeNone},
      {"FILE:///c:/./pic/../a.jpg", "file:///c:/a.jpg", "/c:/a.jpg", "/c:", "file:///c:", "a.jpg",
       "jpg", kFileTypeJpeg},
      {"file:///c:/a?b=1&c", "file:///c:/a?b=1&c", "/c:/a?b=1&c", "/c:", "file:///c:", "a?b=1&c",
       kNone, kFileTypeNone},
      {"file:///c:/", "file:///c:/", "/c:/", "/c:", "file:///c:", kNone, kNone, kFileTypeNone},
  };
  for (const Normalised& c : cases) {
    SCOPED_TRACE(c.input);
    CUrl url;
    ASSERT_TRUE(url.Parse(c.input)) << url.Error();
    EXPECT_EQ(url.Error(), kUrlParsed);
    EXPECT_EQ(url.Text(), c.text);
    EXPECT_EQ(url.Path(), c.path);
    EXPECT_EQ(url.Directory(), c.directory);
    EXPECT_EQ(url.DirectoryUrl(), c.directory_url);
    EXPECT_EQ(Show(url.FileName()), Show(c.file_name));
    EXPECT_EQ(Show(url.Extension()), Show(c.extension));
    EXPECT_EQ(url.FileType(), c.file_type);
    EXPECT_EQ(url.UrlWithoutQuery(), std::string(url.SiteUrl()) + url.Path());
  }
}

TEST(CUrlParse, ClassifiesEveryKnownExtensionWithoutRegardToCase) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"a.cgi", kFileTypeCgi},   {"a.GIF", kFileTypeGif},       {"a.htm", kFileTypeHtml},
      {"a.Html", kFileTypeHtml}, {"a.shtm", kFileTypeHtml},     {"a.SHTML", kFileTypeHtml},
      {"a.jpg", kFileTypeJpeg},  {"a.JPEG", kFileTypeJpeg},     {"a.jpe", kFileTypeOther},
      {"a.txt", kFileTypeOther}, {".htaccess", kFileTypeOther}, {"README", kFileTypeNone},
  };
  for (const auto& [name, type] : cases) {
    CUrl url;
    ASSERT_TRUE(url.Parse("http://host/dir/" + name)) << name;
    EXPECT_EQ(url.FileType(), type) << name;
  }
}

TEST(CUrlTables, MapEverySchemeNameAndNothingElse) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"ftp", kSchemeFtp},       {"file", kSchemeFile},         {"gopher", kSchemeGopher},
      {"http", kSchemeHttp},     {"mailto", kSchemeMailto},     {"news", kSchemeNews},
      {"nntp", kSchemeNntp},     {"prospero", kSchemeProspero}, {"telnet", kSchemeTelnet},
      {"wais", kSchemeWais},     {"HTTP", kSchemeUnknown},      {"https", kSchemeHttps},
      {"HTTPS", kSchemeUnknown}, {"httpss", kSchemeUnknown},    {"", kSchemeUnknown},
      {"htt", kSchemeUnknown},
  };
  for (const auto& [name, id] : cases) EXPECT_EQ(CUrl::SchemeId(name), id) << name;
}

struct HostAndPort {
  std::string input;
  Opt host;
  Opt port;
  std::string site_url;
  std::string text;
};

TEST(CUrlParse, KeepsHostAndPortAsWritten) {
  const std::vector<HostAndPort> cases = {
      {"http://host:8080/x", "host", "8080", "http://host:8080", "http://host:8080/x"},
      {"http://host:/x", "host", "", "http://host:", "http://host:/x"},
      {"http://host:80", "host", "80", "http://host:80", "http://host:80/"},
      {"http://Example.COM/", "Example.COM", kNone, "http://Example.COM", "http://Example.COM/"},
      {"http://10.0.0.1/", "10.0.0.1", kNone, "http://10.0.0.1", "http://10.0.0.1/"},
      {"http://1.2.3.4.999/", "1.2.3.4.999", kNone, "http://1.2.3.4.999", "http://1.2.3.4.999/"},
      {"http://123.com/", "123.com", kNone, "http://123.com", "http://123.com/"},
      {"http://a-b--c.d9/", "a-b--c.d9", kNone, "http://a-b--c.d9", "http://a-b--c.d9/"},
      {"http://x/", "x", kNone, "http://x", "http://x/"},
      {"http://%68ost/", "host", kNone, "http://host", "http://host/"},
      {"http:///x", kNone, kNone, "http://", "http:///x"},
      {"http://:81/x", kNone, "81", "http://:81", "http://:81/x"},
      {"HTTPS://Host", "Host", kNone, "https://Host", "https://Host/"},
      {"https://host:443/a", "host", "443", "https://host:443", "https://host:443/a"},
      {"https://host:8443/a?q#f", "host", "8443", "https://host:8443", "https://host:8443/a?q#f"},
      {"https://%68ost//a/./b/../c", "host", kNone, "https://host", "https://host/a/c"},
      {"file:///c:/x", kNone, kNone, "file://", "file:///c:/x"},
      {"file://server/share/x", "server", kNone, "file://server", "file://server/share/x"},
  };
  for (const HostAndPort& c : cases) {
    SCOPED_TRACE(c.input);
    CUrl url;
    ASSERT_TRUE(url.Parse(c.input)) << url.Error();
    EXPECT_EQ(Show(url.Host()), Show(c.host));
    EXPECT_EQ(Show(url.Port()), Show(c.port));
    EXPECT_EQ(url.SiteUrl(), c.site_url);
    EXPECT_EQ(url.Text(), c.text);
  }
}

struct QueryAndFragment {
  std::string input;
  std::string path;
  Opt query;
  Opt fragment;
  std::string request_target;
  std::string text;
};

TEST(CUrlParse, SplitsQueryAndFragmentAndEscapesThem) {
  const std::vector<QueryAndFragment> cases = {
      {"http://host/?x=1", "/", "x=1", kNone, "/?x=1", "http://host/?x=1"},
      {"http://host/x?", "/x", "", kNone, "/x?", "http://host/x?"},
      {"http://host/x#top", "/x", kNone, "top", "/x", "http://host/x#top"},
      {"http://host/x#", "/x", kNone, "", "/x", "http://host/x#"},
      // The query runs to the end: a "#" after it is part of it.
      {"http://host/x?a=b#c", "/x", "a=b#c", kNone, "/x?a=b#c", "http://host/x?a=b#c"},
      {"http://host/x?p=/a?b c", "/x", "p=%2fa%3fb%20c", kNone, "/x?p=%2fa%3fb%20c",
       "http://host/x?p=%2fa%3fb%20c"},
      {"http://host/x#a#b/c", "/x", kNone, "a%23b%2fc", "/x", "http://host/x#a%23b%2fc"},
      {"http://host/x?q=%E6%97%A5%25", "/x", "q=%e6%97%a5%25", kNone, "/x?q=%e6%97%a5%25",
       "http://host/x?q=%e6%97%a5%25"},
      {"http://host/a/..?q", "/", "q", kNone, "/?q", "http://host/?q"},
      {"http://host/a/?q", "/a/", "q", kNone, "/a/?q", "http://host/a/?q"},
      {"http://host/a/#f", "/a/", kNone, "f", "/a/", "http://host/a/#f"},
      {"http://host:8/a?q#f", "/a", "q#f", kNone, "/a?q#f", "http://host:8/a?q#f"},
  };
  for (const QueryAndFragment& c : cases) {
    SCOPED_TRACE(c.input);
    CUrl url;
    ASSERT_TRUE(url.Parse(c.input)) << url.Error();
    EXPECT_EQ(url.Path(), c.path);
    EXPECT_EQ(Show(url.Query()), Show(c.query));
    EXPECT_EQ(Show(url.Fragment()), Show(c.fragment));
    EXPECT_EQ(url.RequestTarget(), c.request_target);
    EXPECT_EQ(url.Text(), c.text);
  }
}

TEST(CUrlParse, RefusesBadInputWithTheReasonInTheErrorField) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      // schemes
      {"mailto:someone@host", kUrlSchemeNotSupported},
      {"ftp://host/", kUrlSchemeNotSupported},
      {"Gopher://host/", kUrlSchemeNotSupported},
      {"shttp://host/", kUrlSchemeNotSupported},
      {"https:host", kUrlMalformed},
      {"https://bad_host/", kUrlMalformed},
      {"https://host:44x/", kUrlMalformed},
      {"https://host/a/../../b", kUrlAboveRoot},
      {":foo", kUrlSchemeNotSupported},
      {"host/index.html", kUrlMalformed},
      {"", kUrlMalformed},
      {"ht tp://host/", kUrlMalformed},
      {"http_x://host/", kUrlMalformed},
      {"http:/host/", kUrlMalformed},
      {"http:host", kUrlMalformed},
      {"http:", kUrlMalformed},
      // escapes
      {"http://host/%zz", kUrlMalformed},
      {"http://host/a%4", kUrlMalformed},
      {"http://host/a%", kUrlMalformed},
      {"http://host/?q=%g0", kUrlMalformed},
      // hosts and ports
      {"http://host?x=1", kUrlMalformed},
      {"http://host#f", kUrlMalformed},
      {"http://ho_st/", kUrlMalformed},
      {"http://ho st/", kUrlMalformed},
      {"http://-host/", kUrlMalformed},
      {"http://host-.com/", kUrlMalformed},
      {"http://host-/", kUrlMalformed},
      {"http://a.-b/", kUrlMalformed},
      {"http://host..com/", kUrlMalformed},
      {"http://.host/", kUrlMalformed},
      {"http://host./", kUrlMalformed},
      {"http://1.2..3/", kUrlMalformed},
      {"http://.1.2/", kUrlMalformed},
      {"http://1.2.3./", kUrlMalformed},
      {"http://a.1/", kUrlMalformed},
      {"http://1-2.3/", kUrlMalformed},
      {"http://\x89\xe6/", kUrlMalformed},
      {"http://host:8o/", kUrlMalformed},
      {"http://host:80?x", kUrlMalformed},
      {"http://host:80:81/", kUrlMalformed},
      {"http://host:-1/", kUrlMalformed},
      // climbing above the root
      {"http://host/..", kUrlAboveRoot},
      {"http://host/a/../..", kUrlAboveRoot},
      {"http://host/%2e%2e/x", kUrlAboveRoot},
      {"http://host/a/b/../../../c", kUrlAboveRoot},
      {"http://host/./../x", kUrlAboveRoot},
      {"http://host//../x", kUrlAboveRoot},
      // file URLs: no port, a path is required, nothing is escaped
      {"file://host", kUrlMalformed},
      {"file:c:/x", kUrlMalformed},
      {"file://host:80/x", kUrlMalformed},
      {"file:///a b", kUrlMalformed},
      {"file:///a#b", kUrlMalformed},
      {"file:///c:\\x", kUrlMalformed},
      {"file:///pic/\x8e\xca.jpg", kUrlMalformed},
      {"file:///pic/%8e%ca.jpg", kUrlMalformed},
  };
  for (const auto& [input, error] : cases) {
    CUrl url;
    EXPECT_FALSE(url.Parse(input)) << input;
    EXPECT_EQ(url.Error(), error) << input;
  }
}

TEST(CUrlParse, LimitsEachEscapedPartTo1024Bytes) {
  const std::string a1023(1023, 'a');
  // 341 blanks escape to 1023 bytes.
  const std::string blanks341(341, ' ');
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"http://host/" + a1023, kUrlParsed},
      {"http://host/" + a1023 + "a", kUrlPartTooLong},
      {"http://host/" + blanks341, kUrlParsed},
      {"http://host/" + blanks341 + "a", kUrlPartTooLong},
      {"http://host/" + a1023 + "b/x", kUrlPartTooLong},
      {"http://host/" + a1023 + "b/..", kUrlPartTooLong},
      {"http://host/x?" + a1023 + "a", kUrlParsed},
      {"http://host/x?" + a1023 + "ab", kUrlPartTooLong},
      {"http://host/x?" + blanks341 + "a", kUrlParsed},
      {"http://host/x?" + blanks341 + "ab", kUrlPartTooLong},
      {"http://host/x#" + a1023 + "a", kUrlParsed},
      {"http://host/x#" + a1023 + "ab", kUrlPartTooLong},
      {"file:///" + a1023, kUrlParsed},
      {"file:///" + a1023 + "a", kUrlPartTooLong},
  };
  for (const auto& [input, error] : cases) {
    CUrl url;
    EXPECT_EQ(url.Parse(input), error == kUrlParsed) << input.size();
    EXPECT_EQ(url.Error(), error) << input.size();
  }

  // The limit is per segment, not for the whole path.
  std::string many = "http://host";
  for (int i = 0; i < 50; ++i) many += "/" + a1023;
  CUrl url;
  ASSERT_TRUE(url.Parse(many));
  EXPECT_EQ(url.Path().size(), 50u * 1024u);
}

TEST(CUrlParse, ReparsingDropsEveryEarlierPart) {
  CUrl url;
  ASSERT_TRUE(url.Parse("http://host:81/a/b.gif?q#never"));
  ASSERT_TRUE(url.Parse("http://other/"));
  EXPECT_EQ(Show(url.Port()), "(none)");
  EXPECT_EQ(Show(url.Query()), "(none)");
  EXPECT_EQ(Show(url.FileName()), "(none)");
  EXPECT_EQ(Show(url.Extension()), "(none)");
  EXPECT_EQ(url.FileType(), kFileTypeNone);
  EXPECT_EQ(url.Text(), "http://other/");

  // A path that folds to nothing has no file type of its own, whatever was parsed before.
  ASSERT_TRUE(url.Parse("http://host/x.gif"));
  ASSERT_TRUE(url.Parse("http://host/x.gif/.."));
  EXPECT_EQ(url.FileType(), kFileTypeNone);

  ASSERT_TRUE(url.Parse("http://host/a#frag"));
  EXPECT_FALSE(url.Parse("http://host/.."));
  EXPECT_EQ(url.Error(), kUrlAboveRoot);
  EXPECT_EQ(Show(url.Host()), "(none)");
  EXPECT_EQ(Show(url.Fragment()), "(none)");

  ASSERT_TRUE(url.Parse("http://host/b"));
  EXPECT_EQ(url.Error(), kUrlParsed);
  EXPECT_EQ(url.Text(), "http://host/b");
}

TEST(CUrlParse, ARecordParsesItsOwnTextAndPathsDeeperThanUsual) {
  CUrl url;
  ASSERT_TRUE(url.Parse("http://h:8/a%20b/c.html?x=%41#f"));
  const std::string first = url.Text();
  ASSERT_TRUE(url.Parse(url.Text()));
  EXPECT_EQ(url.Text(), first);
  ASSERT_TRUE(url.Parse(url.UrlWithoutQuery()));
  EXPECT_EQ(url.Text(), "http://h:8/a%20b/c.html");
  EXPECT_EQ(url.DirectoryUrl(), "http://h:8/a%20b");
  EXPECT_EQ(url.RequestTarget(), "/a%20b/c.html");

  // Forty folders, then climbs back across the first sixteen.
  std::string deep = "http://h";
  for (int i = 1; i <= 40; ++i) deep.append("/").append(std::to_string(i));
  for (int i = 0; i < 30; ++i) deep += "/..";
  ASSERT_TRUE(url.Parse(deep + "/x.html"));
  EXPECT_EQ(url.Path(), "/1/2/3/4/5/6/7/8/9/10/x.html");
  EXPECT_EQ(url.DirectoryUrl(), "http://h/1/2/3/4/5/6/7/8/9/10");
  ASSERT_TRUE(url.Parse(deep + "/../../../../../../../../../../x.html"));
  EXPECT_EQ(url.Text(), "http://h/x.html");
  EXPECT_FALSE(url.Parse(deep + "/../../../../../../../../../../../x.html"));
  EXPECT_EQ(url.Error(), kUrlAboveRoot);
}

TEST(CUrlParse, ReadsBytesAfterAnEmbeddedNulAndNeverStopsAtIt) {
  CUrl url;
  ASSERT_TRUE(url.Parse(std::string("http://host/a\0b", 15)));
  EXPECT_EQ(url.Path(), "/a%00b");
  EXPECT_FALSE(url.Parse(std::string("http://ho\0st/", 13)));
  EXPECT_EQ(url.Error(), kUrlMalformed);
}

TEST(CUrlUnescape, DecodesEscapesOfEitherCaseAndRefusesBrokenOnes) {
  const std::vector<std::pair<std::string, Opt>> cases = {
      {"", ""},
      {"a%41%4a%4A+b", "aAJJ+b"},
      {"%2541", "%41"},
      {"%00", std::string(1, '\0')},
      {"%ff%80", "\xff\x80"},
      {"\x89\xe6", "\x89\xe6"},
      {"%", kNone},
      {"a%4", kNone},
      {"%4g", kNone},
      {"%%41", kNone},
      {"%g4", kNone},
  };
  for (const auto& [input, output] : cases) {
    EXPECT_EQ(Show(CUrl::UnescapeUrl(input)), Show(output)) << input;
  }
}

TEST(CUrlBackslashToSlash, TurnsBackslashesButNotShiftJisTrailBytes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"c:\\a\\b\\", "c:/a/b/"},
      // 0x95 0x5C and 0x83 0x5C are two-byte characters whose second byte is "\".
      {"c:\\\x95\\\\x", "c:/\x95\\/x"},
      {"\x83\\\x83\\", "\x83\\\x83\\"},
      {"\x81\\\\", "\x81\\/"},
      {"\x9f\\\xe0\\\xef\\\\", "\x9f\\\xe0\\\xef\\/"},
      // Single-byte kana and bytes outside the lead ranges are characters of their own.
      {"\xa0\\\xb1\\\xdf\\\xf0\\\x80\\", "\xa0/\xb1/\xdf/\xf0/\x80/"},
      // A lead byte at the very end has no trail byte to skip.
      {"a\\\x95", "a/\x95"},
      {"", ""},
  };
  for (auto [input, output] : cases) {
    CUrl::BackslashToSlash(input);
    EXPECT_EQ(input, output);
  }
}

TEST(CUrlParse, AcceptsALocalPathTurnedIntoAFileUrl) {
  std::string local = "C:\\My Pictures\\\x95\\\\a.jpg";
  CUrl::BackslashToSlash(local);
  EXPECT_EQ(local, "C:/My Pictures/\x95\\/a.jpg");
  CUrl url;
  // The blank and the Shift_JIS bytes must be escaped by whoever builds the URL.
  EXPECT_FALSE(url.Parse("file:///" + local));
  ASSERT_TRUE(url.Parse("file:///C:/My+Pictures/a.jpg"));
  EXPECT_EQ(url.Directory(), "/C:/My+Pictures");
  EXPECT_EQ(url.FileType(), kFileTypeJpeg);
}

}  // namespace
}  // namespace qlm
