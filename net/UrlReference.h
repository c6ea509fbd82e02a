#pragma once

#include <string>
#include <string_view>

namespace qlm {

// Resolves a URI reference against an absolute base URL as RFC 3986 does (section 5.2): a
// reference with a scheme stands for itself, one with an authority ("//host/x") takes the base's
// scheme, one with a path merges with the base's path, one of a query alone ("?page=2") keeps the
// base's path, and "." and ".." segments are removed, never climbing above the root. Works on the
// text as written: escapes are left for CUrl::Parse, which checks and normalises the result.
// The base's fragment is dropped, the reference's kept.
std::string ResolveUrlReference(std::string_view base, std::string_view reference);

// The path with its "." and ".." segments removed (RFC 3986, section 5.2.4); ".." at the root is
// dropped.
std::string RemoveDotSegments(std::string_view path);

}  // namespace qlm
