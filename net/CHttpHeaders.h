#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/HttpDate.h"

namespace qlm {

// Ids of the header table shared by request lines and reply headers. The names are stored
// exactly as the table spells them, three unusual spellings included.
enum HttpHeaderId : int {
  kHeaderCacheControl = 1,
  kHeaderConnection = 2,
  kHeaderDate = 3,
  kHeaderPragma = 4,
  kHeaderTransferEncoding = 5,  // "TRANSFERE-ENCODING"
  kHeaderUpgrade = 6,
  kHeaderVia = 7,
  kHeaderAccept = 8,
  kHeaderAcceptCharset = 9,
  kHeaderAcceptEncoding = 10,
  kHeaderAcceptLanguage = 11,
  kHeaderAuthorization = 12,
  kHeaderFrom = 13,
  kHeaderHost = 14,
  kHeaderIfModifiedSince = 15,
  kHeaderIfMatch = 16,
  kHeaderIfNoneMatch = 17,
  kHeaderIfRange = 18,
  kHeaderIfUnmodifiedSince = 19,  // "IF-UNMODIFIED_SINCE"
  kHeaderMaxForwards = 20,
  kHeaderProxyAuthorization = 21,
  kHeaderRange = 22,
  kHeaderReferer = 23,
  kHeaderUserAgent = 24,
  kHeaderAge = 25,
  kHeaderLocation = 26,
  kHeaderProxyAuthenticate = 27,
  kHeaderPublic = 28,
  kHeaderRetryAfter = 29,
  kHeaderServer = 30,
  kHeaderVary = 31,
  kHeaderWarning = 32,
  kHeaderWwwAuthenticate = 33,
  kHeaderAllow = 34,
  kHeaderContentBase = 35,
  kHeaderContentEncoding = 36,
  kHeaderContentLanguage = 37,
  kHeaderContentLength = 38,
  kHeaderContentLocation = 39,
  kHeaderContentMd5 = 40,
  kHeaderContentRange = 41,
  kHeaderContentType = 42,
  kHeaderEtag = 43,
  kHeaderExpires = 44,
  kHeaderLastModified = 45,  // reply only: there is no request line 45
};

// Media type ids of CONTENT-TYPE; 0 when the type is not in the table.
enum HttpMediaType : int {
  kMediaUnknown = 0,
  kMediaText = 1,
  kMediaImage = 2,
  kMediaAudio = 3,
  kMediaVideo = 4,
  kMediaApplication = 5,
  kMediaMessage = 6,
  kMediaMultipart = 7,
};

// Challenge schemes of WWW-AUTHENTICATE / PROXY-AUTHENTICATE, and credential schemes.
enum HttpAuthScheme : int { kAuthNone = 0, kAuthBasic = 1, kAuthDigest = 2 };

// ParseReplyHeaders failure codes, kept in ParseError().
enum HttpParseError : int16_t {
  kParseOk = 0,
  kParseOutOfMemory = -1,
  kParseUnexpectedEnd = -2,
  kParseNameTooLong = -3,
  kParseLocationTooLong = -4,
  kParseNoColon = -5,
  kParseParameterNoEquals = -6,
  kParseNoSlash = -7,
  kParseEmptyToken = -8,
  kParseEmptyLocation = -9,
  kParseBadDate = -11,
  kParseBadLastModified = -12,
};

// The request header lines of one request object and the fields parsed from a reply's header
// block. Base of CHttpRequest.
class CHttpHeaders {
 public:
  // Request lines: index 0 is the request line, index n (1-44) the line of header id n.
  static constexpr int kRequestLineCount = 45;
  // Longest header name token, in bytes; a longer one fails the parse with -3.
  static constexpr size_t kMaxNameBytes = 1024;
  // Longest LOCATION value, in bytes; a longer one fails the parse with -4.
  static constexpr size_t kMaxLocationBytes = 1024;

  CHttpHeaders() = default;
  virtual ~CHttpHeaders() = default;

  // Sets request line id (1-44) to "NAME:value", no blank after the colon. False for an id
  // outside 1-44, or (with parse error -1) when memory runs out.
  bool SetHeader(int id, std::string_view value);
  // Removes request line id (1-44); nothing for another id.
  void ClearHeader(int id);
  // The request line at index, or nullptr when it is not set.
  const std::string* RequestLine(int index) const;
  // Every set request line in index order, each followed by CR LF, then one more CR LF.
  std::string BuildRequestText() const;

  // Parses a reply header block (without its empty line). Fields parsed before a failing line
  // are kept; the failure code is in ParseError(). An empty text is a success.
  bool ParseReplyHeaders(std::string_view header_text);

  // Id of an upper-case header name in the 45-entry table, 0 when it is not there.
  static int LookupHeader(std::string_view upper_name);
  // Table name of id 1-45, nullptr for any other id.
  static const char* HeaderName(int id);
  // The CONTENT-LENGTH of a raw header block: the first line whose name is CONTENT-LENGTH in
  // the 32-entry content table; 0 when absent, when its value does not start with a digit, or
  // when it does not fit in 63 bits.
  static int64_t ScanContentLength(std::string_view header_text);

  int ParseError() const { return parse_error_; }
  int CurrentHeaderId() const { return current_id_; }
  const std::string& Location() const { return location_; }
  bool HasLastModified() const { return has_last_modified_; }
  const HttpDate& LastModified() const { return last_modified_; }
  bool HasContentType() const { return has_content_type_; }
  int MediaType() const { return media_type_; }
  const std::string& MediaSubtype() const { return media_subtype_; }
  int ChallengeScheme() const { return challenge_scheme_; }

 protected:
  // Sets request line 0 (the request line proper).
  bool SetRequestLine(std::string line);

 private:
  class Cursor;
  bool ParseOneHeader(Cursor& cursor);
  bool ParseContentType(Cursor& cursor);

  // Request lines 0-44; unset lines are empty optionals and are left out of the request text.
  std::array<std::optional<std::string>, kRequestLineCount> request_lines_;
  // 0, or the code of the last ParseReplyHeaders failure (or -1 from SetHeader).
  int16_t parse_error_ = kParseOk;
  // Id of the header line being (or last) parsed; 0 when its name is not in the table.
  int current_id_ = 0;
  // LOCATION value, at most kMaxLocationBytes bytes; empty when the reply had none.
  std::string location_;
  bool has_last_modified_ = false;
  HttpDate last_modified_;
  // Set only when a CONTENT-TYPE line parsed to its end.
  bool has_content_type_ = false;
  int media_type_ = kMediaUnknown;
  // Subtype token, upper-cased; kept from the last CONTENT-TYPE that got that far.
  std::string media_subtype_;
  // Set by an authenticate header naming Basic or Digest; otherwise left as it was.
  int challenge_scheme_ = kAuthNone;
};

}  // namespace qlm
