#include "crawl/HtmlKeyword.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace qlm {

namespace {

constexpr std::array<std::pair<std::string_view, HtmlKeywordId>, 54> kKeywords{{
    {"A", kHtmlA},
    {"/A", kHtmlEndA},
    {"AREA", kHtmlArea},
    {"/AREA", kHtmlEndArea},
    {"BASE", kHtmlBase},
    {"BODY", kHtmlBody},
    {"/BODY", kHtmlEndBody},
    {"!--", kHtmlComment},
    {"FRAME", kHtmlFrame},
    {"/FRAME", kHtmlEndFrame},
    {"HEAD", kHtmlHead},
    {"/HEAD", kHtmlEndHead},
    {"IMG", kHtmlImg},
    {"/IMG", kHtmlEndImg},
    {"META", kHtmlMeta},
    {"/META", kHtmlEndMeta},
    {"TITLE", kHtmlTitle},
    {"/TITLE", kHtmlEndTitle},
    {"BACKGROUND", kHtmlBackground},
    {"CONTENT", kHtmlContent},
    {"HREF", kHtmlHref},
    {"ISMAP", kHtmlIsmap},
    {"NAME", kHtmlName},
    {"SRC", kHtmlSrc},
    {"USEMAP", kHtmlUsemap},
    {"ALL", kHtmlAll},
    {"FOLLOW", kHtmlFollow},
    {"INDEX", kHtmlIndex},
    {"NOFOLLOW", kHtmlNofollow},
    {"NOINDEX", kHtmlNoindex},
    {"NONE", kHtmlNone},
    {"ROBOTS", kHtmlRobots},
    {"QLMVERSION", kHtmlQlmVersion},
    {"LINK", kHtmlLink},
    {"SCRIPT", kHtmlScript},
    {"/SCRIPT", kHtmlEndScript},
    {"STYLE", kHtmlStyle},
    {"/STYLE", kHtmlEndStyle},
    {"IFRAME", kHtmlIframe},
    {"SOURCE", kHtmlSource},
    {"VIDEO", kHtmlVideo},
    {"AUDIO", kHtmlAudio},
    {"TRACK", kHtmlTrack},
    {"INPUT", kHtmlInput},
    {"EMBED", kHtmlEmbed},
    {"OBJECT", kHtmlObject},
    {"TABLE", kHtmlTable},
    {"TD", kHtmlTd},
    {"TH", kHtmlTh},
    {"REL", kHtmlRel},
    {"SRCSET", kHtmlSrcset},
    {"POSTER", kHtmlPoster},
    {"DATA", kHtmlData},
    {"TYPE", kHtmlType},
}};

}  // namespace

HtmlKeywordId HtmlKeyword(std::string_view token) {
  // Every tag and attribute of a page is looked up, twice per page in a patrol (its links are read,
  // then it is rewritten), so the table is walked only among the keywords of the token's length,
  // and a keyword whose first byte differs costs one comparison. No keyword is longer than 10
  // bytes.
  constexpr std::size_t kLongest = 10;
  static_assert(std::ranges::all_of(kKeywords,
                                    [](const auto& keyword) {
                                      return !keyword.first.empty() &&
                                             keyword.first.size() <= kLongest;
                                    }),
                "a keyword's length indexes the buckets");
  if (token.empty() || token.size() > kLongest) return kHtmlUnknown;
  using Bucket = std::vector<std::pair<std::string_view, HtmlKeywordId>>;
  static const std::array<Bucket, kLongest + 1> by_size = [] {
    std::array<Bucket, kLongest + 1> buckets;
    for (const auto& keyword : kKeywords) buckets[keyword.first.size()].push_back(keyword);
    return buckets;
  }();
  for (const auto& [text, id] : by_size[token.size()]) {
    if (text[0] == token[0] && text == token) return id;
  }
  return kHtmlUnknown;
}

}  // namespace qlm
