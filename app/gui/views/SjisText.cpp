#include "app/gui/views/SjisText.h"

#include <iconv.h>

#include <QByteArray>

namespace qlm {

namespace {

// Converts with iconv; false when the input does not convert as a whole.
bool Convert(const char* to, const char* from, std::string_view in, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.assign(in.size() * 4 + 4, '\0');
  char* in_ptr = const_cast<char*>(in.data());
  size_t in_left = in.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  const size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || in_left != 0) return false;
  out.resize(out.size() - out_left);
  return true;
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

QString FromSjis(std::string_view sjis) {
  if (IsAscii(sjis)) return QString::fromLatin1(sjis.data(), static_cast<qsizetype>(sjis.size()));
  std::string utf8;
  if (Convert("UTF-8", "CP932", sjis, utf8)) return QString::fromStdString(utf8);
  return QString::fromUtf8(sjis.data(), static_cast<qsizetype>(sjis.size()));
}

std::string ToSjis(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const std::string_view in(utf8.constData(), static_cast<size_t>(utf8.size()));
  if (IsAscii(in)) return std::string(in);
  std::string sjis;
  if (Convert("CP932//TRANSLIT", "UTF-8", in, sjis)) return sjis;
  // Character by character, so that one that CP932 lacks costs only itself.
  std::string out;
  for (const QChar c : text) {
    std::string one;
    const QByteArray bytes = QString(c).toUtf8();
    out += Convert("CP932", "UTF-8", std::string_view(bytes.constData(), bytes.size()), one) ? one
                                                                                             : "?";
  }
  return out;
}

}  // namespace qlm
