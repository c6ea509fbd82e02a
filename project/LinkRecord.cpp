#include "project/LinkRecord.h"

#include <array>

#include "project/RecordReader.h"
#include "project/RecordWriter.h"

namespace qlm {

namespace {

// Old records carry the retry count, GraphMax and depth first; a 10050 record has one more number
// and the robots.txt location as a fifth string.
bool DecodeOld(RecordReader& in, int int_count, int string_count, LinkRecord& record) {
  std::array<int32_t*, 3> ints = {&record.retry, &record.graph_max, &record.depth};
  std::array<std::string*, 5> strings = {&record.folder_path, &record.item_url, &record.referer,
                                         &record.url, &record.robots_url};
  int32_t dropped = 0;
  for (int i = 0; i < int_count; ++i) {
    if (!in.ReadInt(i < 3 ? *ints[i] : dropped)) return false;
  }
  for (int i = 0; i < string_count; ++i) {
    if (!in.ReadString(*strings[i])) return false;
  }
  return true;
}

}  // namespace

std::string LinkRecord::Encode() const {
  RecordWriter out;
  const auto texts = {&folder_path, &item_url, &referer, &url, &robots_url, &storage_name};
  std::size_t size = 6 * RecordWriter::kIntSize;
  for (const std::string* text : texts) size += RecordWriter::StringSize(*text);
  out.Reserve(size);
  for (int32_t value : {reserved, flags, retry, graph_max, depth, chain}) out.AddInt(value);
  for (const std::string* text : texts) out.AddString(*text);
  return out.Take();
}

bool LinkRecord::Decode(std::string_view bytes, int32_t version, LinkRecord& record) {
  RecordReader in(bytes);
  LinkRecord decoded;
  bool ok;
  if (version == kVersion) {
    ok = in.ReadInt(decoded.reserved) && in.ReadInt(decoded.flags) && in.ReadInt(decoded.retry) &&
         in.ReadInt(decoded.graph_max) && in.ReadInt(decoded.depth) && in.ReadInt(decoded.chain) &&
         in.ReadString(decoded.folder_path) && in.ReadString(decoded.item_url) &&
         in.ReadString(decoded.referer) && in.ReadString(decoded.url) &&
         in.ReadString(decoded.robots_url) && in.ReadString(decoded.storage_name);
  } else if (version == kVersion10050) {
    ok = DecodeOld(in, 4, 5, decoded);
  } else {
    ok = DecodeOld(in, 3, 4, decoded);
  }
  if (!ok || !in.AtEnd()) return false;
  record = std::move(decoded);
  return true;
}

}  // namespace qlm
