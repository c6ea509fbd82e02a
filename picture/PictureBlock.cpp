#include "picture/PictureBlock.h"

#include <cstring>

namespace qlm {

namespace {

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The part of a string that is written: up to its first NUL.
size_t WrittenLength(const std::string& text) {
  const size_t nul = text.find('\0');
  return nul == std::string::npos ? text.size() : nul;
}

}  // namespace

size_t PictureBlock::HeadSize(const PictureHeader& header) {
  return kIntegerBytes + WrittenLength(header.mark) + WrittenLength(header.file) +
         WrittenLength(header.folder) + WrittenLength(header.item) + 4;
}

size_t PictureBlock::WriteHead(const PictureHeader& header, std::uint8_t* dst) {
  PutLe32(dst, header.colour);
  PutLe32(dst + 4, static_cast<std::uint32_t>(header.effect));
  PutLe32(dst + 8, static_cast<std::uint32_t>(header.step_delay));
  PutLe32(dst + 12, 0);
  size_t at = kIntegerBytes;
  for (const std::string* text : {&header.mark, &header.file, &header.folder, &header.item}) {
    const size_t length = WrittenLength(*text);
    std::memcpy(dst + at, text->data(), length);
    dst[at + length] = 0;
    at += length + 1;
  }
  return at;
}

bool PictureBlock::ReadHead(const std::uint8_t* data, size_t size, PictureHeader* header,
                            size_t* head_size) {
  if (data == nullptr || size < kIntegerBytes) return false;
  header->colour = GetLe32(data);
  header->effect = static_cast<std::int32_t>(GetLe32(data + 4));
  header->step_delay = static_cast<std::int32_t>(GetLe32(data + 8));
  size_t at = kIntegerBytes;
  for (std::string* text : {&header->mark, &header->file, &header->folder, &header->item}) {
    const void* nul = std::memchr(data + at, 0, size - at);
    if (nul == nullptr) return false;
    const size_t length = static_cast<size_t>(static_cast<const std::uint8_t*>(nul) - (data + at));
    text->assign(reinterpret_cast<const char*>(data + at), length);
    at += length + 1;
  }
  *head_size = at;
  return true;
}

bool PictureBlock::Create(const std::string& name, const PictureHeader& header,
                          size_t bitmap_bytes) {
  memory_.Close();
  head_size_ = HeadSize(header);
  if (!memory_.Create(name, head_size_ + bitmap_bytes)) return false;
  WriteHead(header, memory_.Data());
  return true;
}

}  // namespace qlm
