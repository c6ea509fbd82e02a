#include "platform/TerminalText.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace qlm {

namespace {

// The character set the environment's locale names (LC_ALL, LC_CTYPE, LANG); UTF-8 when it
// names none that can be loaded.
std::string EnvironmentCharset() {
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return "UTF-8";
  const char* charset = nl_langinfo_l(CODESET, locale);
  std::string name = charset && *charset ? charset : "UTF-8";
  freelocale(locale);
  return name;
}

}  // namespace

std::string TerminalText(std::string_view sjis) {
  const std::string text(sjis);
  iconv_t cd = iconv_open(EnvironmentCharset().c_str(), "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out(text.size() * 4 + 16, '\0');
  char* in_ptr = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  const size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return text;
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace qlm
