#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qlm {

// One unit of patrol work: six integers and six strings, stored in this order (int0..int5,
// str0..str5) by the patrol queues.
struct LinkRecord {
  // The format version of the patrol queue files this record is stored in; older files are
  // converted (Decode with their version).
  static constexpr int32_t kVersion = 10070;
  static constexpr int32_t kVersion10050 = 10050;

  int32_t reserved = 0;      // int0: always 0
  int32_t flags = 0;         // int1: bits 0-1 the authentication state (credentials sent when 1)
  int32_t retry = 0;         // int2: retries so far
  int32_t graph_max = 0;     // int3: the owning item's maximum link depth
  int32_t depth = 0;         // int4: link depth, 0 for the item's own URL
  int32_t chain = 0;         // int5: embedded-resource chain length, at most 3
  std::string folder_path;   // str0: folder path of the owning item
  std::string item_url;      // str1: the owning item's URL, normalised
  std::string referer;       // str2: the page that held the link; empty for an item's own URL
  std::string url;           // str3: the URL to fetch, normalised
  std::string robots_url;    // str4: robots.txt location override; empty for the site's own
  std::string storage_name;  // str5: the URL whose local name stores the content; usually empty

  bool operator==(const LinkRecord&) const = default;

  // The stored form: a string total of L bytes gives L + 78 bytes.
  std::string Encode() const;
  // Reads a record stored by a file of the given version: 10070 as six integers and six strings;
  // 10050 as four integers and five strings (the first three numbers are the retry count, GraphMax
  // and depth, the fourth is dropped); older versions as three integers and four strings. False
  // for bytes that do not hold exactly such a record.
  static bool Decode(std::string_view bytes, int32_t version, LinkRecord& record);
};

}  // namespace qlm
