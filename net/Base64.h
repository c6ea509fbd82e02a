#pragma once

#include <string>
#include <string_view>

namespace qlm {

// Standard Base64 (RFC 2045 alphabet, "=" padding, no line breaks) of arbitrary bytes.
std::string EncodeBase64(std::string_view bytes);

}  // namespace qlm
