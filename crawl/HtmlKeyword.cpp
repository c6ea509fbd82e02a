#include "crawl/HtmlKeyword.h"

#include <array>
#include <utility>

namespace qlm {

namespace {

constexpr std::array<std::pair<std::string_view, HtmlKeywordId>, 33> kKeywords{{
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
}};

}  // namespace

HtmlKeywordId HtmlKeyword(std::string_view token) {
  for (const auto& [text, id] : kKeywords) {
    if (text == token) return id;
  }
  return kHtmlUnknown;
}

}  // namespace qlm
