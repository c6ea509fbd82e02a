#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm {

// One reference of a style sheet to another file: an @import (with a string or a url()) or a
// url() anywhere else (a background picture, a font, a cursor).
struct CssReference {
  bool import = false;
  // The token that names the file in the sheet's text: "url(...)" from "u" to ")", or the quoted
  // string of an @import with its quotes.
  std::size_t begin = 0;
  std::size_t end = 0;
  // The file's name as written, with CSS escapes ("\\28", "\\ ") and line continuations decoded.
  std::string value;
};

// Finds the references of a style sheet (a .css file, the text of a STYLE element, the value of
// a STYLE attribute) in the order they stand. Comments and strings other than an @import's are
// passed over; "url(" counts only where it starts a function name (not in "myurl("). A url()
// whose unquoted value holds a quote, "(" or a blank before its end is no reference, as browsers
// read it. Bytes from 0x80 up pass through as they are.
std::vector<CssReference> FindCssReferences(std::string_view sheet);

// Writes the sheet again with references replaced: `rewrite` gets each reference and returns the
// new file name, or nothing to keep it as it stands. A new name is written as url("...") (an
// @import's string as "..."), with its double quotes, backslashes and line ends escaped.
std::string RewriteCss(
    std::string_view sheet,
    const std::function<std::optional<std::string>(const CssReference&)>& rewrite);

}  // namespace qlm
