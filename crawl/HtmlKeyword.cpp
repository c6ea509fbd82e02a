#include "crawl/HtmlKeyword.h"

#include <array>
#include <utility>

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
  // Every tag and attribute of a page is looked up; no keyword is longer than 10 bytes.
  if (token.empty() || token.size() > 10) return kHtmlUnknown;
  for (const auto& [text, id] : kKeywords) {
    if (text.size() == token.size() && text == token) return id;
  }
  return kHtmlUnknown;
}

}  // namespace qlm
