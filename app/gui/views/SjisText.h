#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace qlm {

// The system's text passes through as Shift_JIS (CP932) bytes; the windows convert at their edge.
// Bytes that are not CP932 (a title some page gave in UTF-8) are shown as UTF-8 rather than lost.
QString FromSjis(std::string_view sjis);
// The user's text as CP932 bytes; characters CP932 lacks become "?".
std::string ToSjis(const QString& text);

}  // namespace qlm
