#include <gtest/gtest.h>

#include <string>

#include "net/CHttpHeaders.h"

namespace qlm {
namespace {

// Exposes the request line so that request texts can be assembled without a connection.
class TestHeaders : public CHttpHeaders {
 public:
  using CHttpHeaders::SetRequestLine;
};

TEST(CHttpHeadersRequest, AssemblesLinesInTableOrderWhateverOrderTheyWereSetIn) {
  TestHeaders h;
  ASSERT_TRUE(h.SetHeader(kHeaderUserAgent, "Quillmere/1.009.0"));
  ASSERT_TRUE(h.SetHeader(kHeaderReferer, "http://a.example/"));
  ASSERT_TRUE(h.SetHeader(kHeaderProxyAuthorization, "Basic cDpx"));
  ASSERT_TRUE(h.SetHeader(kHeaderIfModifiedSince, "Sun, 06 Nov 1994 08:49:37 GMT"));
  ASSERT_TRUE(h.SetHeader(kHeaderHost, "a.example"));
  ASSERT_TRUE(h.SetHeader(kHeaderAuthorization, "Basic dTpw"));
  ASSERT_TRUE(h.SetHeader(kHeaderAccept, "*/*"));
  ASSERT_TRUE(h.SetHeader(kHeaderPragma, "no-cache"));
  ASSERT_TRUE(h.SetHeader(kHeaderCacheControl, "no-cache"));
  h.SetRequestLine("GET /dir/a.html HTTP/1.0");
  EXPECT_EQ(h.BuildRequestText(),
            "GET /dir/a.html HTTP/1.0\r\n"
            "CACHE-CONTROL:no-cache\r\n"
            "PRAGMA:no-cache\r\n"
            "ACCEPT:*/*\r\n"
            "AUTHORIZATION:Basic dTpw\r\n"
            "HOST:a.example\r\n"
            "IF-MODIFIED-SINCE:Sun, 06 Nov 1994 08:49:37 GMT\r\n"
            "PROXY-AUTHORIZATION:Basic cDpx\r\n"
            "REFERER:http://a.example/\r\n"
            "USER-AGENT:Quillmere/1.009.0\r\n"
            "\r\n");
}

TEST(CHttpHeadersRequest, KeepsTheTableSpellingsAndReplacesALineThatIsSetAgain) {
  TestHeaders h;
  ASSERT_TRUE(h.SetHeader(kHeaderTransferEncoding, "x"));
  ASSERT_TRUE(h.SetHeader(kHeaderIfUnmodifiedSince, "y"));
  ASSERT_TRUE(h.SetHeader(kHeaderIfUnmodifiedSince, "z"));
  EXPECT_EQ(h.BuildRequestText(), "TRANSFERE-ENCODING:x\r\nIF-UNMODIFIED_SINCE:z\r\n\r\n");
}

TEST(CHttpHeadersRequest, RefusesIdsWithoutARequestLineAndValuesThatWouldForgeLines) {
  TestHeaders h;
  EXPECT_FALSE(h.SetHeader(0, "x"));
  EXPECT_FALSE(h.SetHeader(kHeaderLastModified, "x"));
  EXPECT_FALSE(h.SetHeader(-1, "x"));
  EXPECT_FALSE(h.SetHeader(kHeaderReferer, "http://a/\r\nHOST:evil"));
  EXPECT_FALSE(h.SetHeader(kHeaderReferer, std::string("a\0b", 3)));
  EXPECT_EQ(h.RequestLine(kHeaderReferer), nullptr);
  EXPECT_EQ(h.BuildRequestText(), "\r\n");
}

TEST(CHttpHeadersTables, LookUpUpperCaseNamesOnly) {
  EXPECT_EQ(CHttpHeaders::LookupHeader("CONTENT-TYPE"), kHeaderContentType);
  EXPECT_EQ(CHttpHeaders::LookupHeader("LAST-MODIFIED"), kHeaderLastModified);
  EXPECT_EQ(CHttpHeaders::LookupHeader("Content-Type"), 0);
  EXPECT_EQ(CHttpHeaders::LookupHeader("X-FRAME-OPTIONS"), 0);
  EXPECT_STREQ(CHttpHeaders::HeaderName(kHeaderIfUnmodifiedSince), "IF-UNMODIFIED_SINCE");
  EXPECT_EQ(CHttpHeaders::HeaderName(46), nullptr);
}

TEST(CHttpHeadersContentLength, TakesTheFirstLengthLineAndCountsOddValuesAsAbsent) {
  struct Case {
    const char* block;
    int64_t want;
  } cases[] = {
      {"Content-Length: 5", 5},
      {"Server: x\r\ncontent-length:12\r\nContent-Length: 99", 12},
      {"Server: x\ncontent-length:\t 7\nX: y", 7},
      {"Content-Length: abc", 0},
      {"Content-Length: -5", 0},
      {"Content-Length:", 0},
      {"X-Content-Length: 5", 0},
      {"Content-Length 5", 0},
      {"Content-Length: 53687091200", 53687091200},  // 50 GiB: past 32 bits
      {"Content-Length: 99999999999999999999999", 0},
      {"", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CHttpHeaders::ScanContentLength(c.block), c.want) << c.block;
  }
}

struct ReplyCase {
  const char* name;
  const char* block;
  int error;  // 0 when the whole block parses
  const char* location;
  bool has_last_modified;
  bool has_content_type;
  int media_type;
  const char* subtype;
  int scheme;
};

TEST(CHttpHeadersReply, ParsesTheFieldsItKnowsAndStopsAtTheFailingLine) {
  const ReplyCase cases[] = {
      {"empty", "", 0, "", false, false, 0, "", 0},
      {"only an empty line", "\r\n\r\nLocation: /x", 0, "", false, false, 0, "", 0},
      {"typical",
       "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nServer: x\r\nLocation: /b.html\r\n"
       "Last-Modified: Sunday, 06-Nov-94 08:49:37 GMT\r\nContent-Type: text/html",
       0, "/b.html", true, true, kMediaText, "HTML", 0},
      {"charset keeps going", "Content-Type: text/html; charset=utf-8\r\nLocation: /after", 0,
       "/after", false, true, kMediaText, "HTML", 0},
      {"quoted and several parameters",
       "Content-Type: multipart/form-data; boundary=\"a;b \\\"c\"; x = y;\r\nLocation: /z", 0, "/z",
       false, true, kMediaMultipart, "FORM-DATA", 0},
      {"blank-separated parameter", "Content-Type: image/jpeg q=1", 0, "", false, true, kMediaImage,
       "JPEG", 0},
      {"unknown media type", "Content-Type: font/woff2", 0, "", false, true, 0, "WOFF2", 0},
      {"LF line ends", "Location: /lf\nWWW-Authenticate: basic realm=\"x\"", 0, "/lf", false, false,
       0, "", kAuthBasic},
      {"digest", "Proxy-Authenticate: Digest realm=x", 0, "", false, false, 0, "", kAuthDigest},
      {"empty value keeps the next line", "X-Empty:\r\nLocation: /next", 0, "/next", false, false,
       0, "", 0},
      {"folded value", "Location:\r\n  /folded", 0, "/folded", false, false, 0, "", 0},
      {"location ends at a blank", "Location: /a b", 0, "/a", false, false, 0, "", 0},
      {"bad date",
       "Location: /kept\r\nDate: yesterday\r\nLast-Modified: Sun, 06 Nov 1994 "
       "08:49:37 GMT",
       kParseBadDate, "/kept", false, false, 0, "", 0},
      {"bad last-modified", "Last-Modified: soon", kParseBadLastModified, "", false, false, 0, "",
       0},
      {"no colon", "Server x\r\nLocation: /x", kParseNoColon, "", false, false, 0, "", 0},
      {"name at the end", "Location: /x\r\nServer", kParseUnexpectedEnd, "/x", false, false, 0, "",
       0},
      {"empty name", ": x", kParseEmptyToken, "", false, false, 0, "", 0},
      {"empty location", "Location:\r\nServer: x", kParseEmptyLocation, "", false, false, 0, "", 0},
      {"no slash", "Content-Type: text", kParseNoSlash, "", false, false, kMediaText, "", 0},
      {"parameter without =", "Content-Type: text/plain; charset", kParseParameterNoEquals, "",
       false, false, kMediaText, "PLAIN", 0},
      {"unterminated quote", "Content-Type: text/plain; a=\"x\r\nLocation: /y", kParseUnexpectedEnd,
       "", false, false, kMediaText, "PLAIN", 0},
      {"empty subtype", "Content-Type: text/; a=b", kParseEmptyToken, "", false, false, kMediaText,
       "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CHttpHeaders h;
    EXPECT_EQ(h.ParseReplyHeaders(c.block), c.error == 0);
    EXPECT_EQ(h.ParseError(), c.error);
    EXPECT_EQ(h.Location(), c.location);
    EXPECT_EQ(h.HasLastModified(), c.has_last_modified);
    EXPECT_EQ(h.HasContentType(), c.has_content_type);
    EXPECT_EQ(h.MediaType(), c.media_type);
    EXPECT_EQ(h.MediaSubtype(), c.subtype);
    EXPECT_EQ(h.ChallengeScheme(), c.scheme);
  }
}

TEST(CHttpHeadersReply, ALocationEndsAtANul) {
  using namespace std::string_literals;
  CHttpHeaders h;
  EXPECT_TRUE(h.ParseReplyHeaders("Location: /a\0/b\r\nWWW-Authenticate: Basic"s));
  EXPECT_EQ(h.Location(), "/a");
  EXPECT_EQ(h.ChallengeScheme(), kAuthBasic);
  EXPECT_FALSE(h.ParseReplyHeaders("Location: \0/b"s));
  EXPECT_EQ(h.ParseError(), kParseEmptyLocation);
  EXPECT_EQ(h.Location(), "");
}

TEST(CHttpHeadersReply, LimitsNamesAndLocationsTo1024Bytes) {
  CHttpHeaders h;
  EXPECT_TRUE(h.ParseReplyHeaders("Location: /" + std::string(1023, 'a')));
  EXPECT_EQ(h.Location().size(), 1024u);
  EXPECT_FALSE(h.ParseReplyHeaders("Location: /" + std::string(1024, 'a')));
  EXPECT_EQ(h.ParseError(), kParseLocationTooLong);
  EXPECT_TRUE(h.ParseReplyHeaders(std::string(1024, 'N') + ": v"));
  EXPECT_FALSE(h.ParseReplyHeaders(std::string(1025, 'N') + ": v"));
  EXPECT_EQ(h.ParseError(), kParseNameTooLong);
}

TEST(CHttpHeadersReply, KeepsTheLastModifiedFieldsAndClearsThemOnTheNextParse) {
  CHttpHeaders h;
  ASSERT_TRUE(h.ParseReplyHeaders("last-modified: Sun Nov  6 08:49:37 1994\r\nLocation: /a"));
  EXPECT_EQ(h.LastModified(), (HttpDate{1994, 11, 6, 8, 49, 37}));
  ASSERT_TRUE(h.ParseReplyHeaders("Server: x"));
  EXPECT_FALSE(h.HasLastModified());
  EXPECT_EQ(h.Location(), "");
}

}  // namespace
}  // namespace qlm
