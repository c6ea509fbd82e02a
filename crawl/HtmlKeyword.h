#pragma once

#include <string_view>

namespace qlm {

// The tags and attributes the page scanner knows. The numbers are stable: they are the ids the
// scanner dispatches on, and 0 stands for every token that is not in the table.
enum HtmlKeywordId : int {
  kHtmlUnknown = 0,
  kHtmlA = 1,
  kHtmlEndA = 2,
  kHtmlArea = 3,
  kHtmlEndArea = 4,
  kHtmlBase = 5,
  kHtmlBody = 6,
  kHtmlEndBody = 7,
  kHtmlComment = 8,
  kHtmlFrame = 9,
  kHtmlEndFrame = 10,
  kHtmlHead = 11,
  kHtmlEndHead = 12,
  kHtmlImg = 13,
  kHtmlEndImg = 14,
  kHtmlMeta = 15,
  kHtmlEndMeta = 16,
  kHtmlTitle = 17,
  kHtmlEndTitle = 18,
  kHtmlBackground = 19,
  kHtmlContent = 20,
  kHtmlHref = 21,
  kHtmlIsmap = 22,
  kHtmlName = 23,
  kHtmlSrc = 24,
  kHtmlUsemap = 25,
  kHtmlAll = 26,
  kHtmlFollow = 27,
  kHtmlIndex = 28,
  kHtmlNofollow = 29,
  kHtmlNoindex = 30,
  kHtmlNone = 31,
  kHtmlRobots = 32,
  kHtmlQlmVersion = 33,
  // The elements and attributes that name the files a page needs to look as it does (style
  // sheets, scripts, responsive pictures, media) and inline frames.
  kHtmlLink = 34,
  kHtmlScript = 35,
  kHtmlEndScript = 36,
  kHtmlStyle = 37,  // the element and the attribute
  kHtmlEndStyle = 38,
  kHtmlIframe = 39,
  kHtmlSource = 40,
  kHtmlVideo = 41,
  kHtmlAudio = 42,
  kHtmlTrack = 43,
  kHtmlInput = 44,
  kHtmlEmbed = 45,
  kHtmlObject = 46,
  kHtmlTable = 47,
  kHtmlTd = 48,
  kHtmlTh = 49,
  kHtmlRel = 50,
  kHtmlSrcset = 51,
  kHtmlPoster = 52,
  kHtmlData = 53,
  kHtmlType = 54,
};

// Looks a token up by exact, case-sensitive comparison. Callers upper-case the token first, so
// "href" only matches once it has become "HREF".
HtmlKeywordId HtmlKeyword(std::string_view token);

}  // namespace qlm
