#include "project/RecordWriter.h"

namespace qlm {

void RecordWriter::AddWord(uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<char>(word >> shift));
}

void RecordWriter::AddInt(int32_t value) {
  AddWord(4);
  AddWord(static_cast<uint32_t>(value));
}

void RecordWriter::AddString(std::string_view text) {
  AddWord(static_cast<uint32_t>(text.size() + 1));
  bytes_.append(text);
  bytes_.push_back('\0');
}

}  // namespace qlm
