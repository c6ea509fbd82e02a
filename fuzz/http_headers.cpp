// Reply header blocks of any bytes, cut into pieces chosen by the input itself: the framing and
// both parsers must give the same result as for the reply in one piece, and the parsed fields
// must keep their limits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/CHttpHeaders.h"
#include "net/CReceiveBuffer.h"

namespace {

constexpr size_t kLimit = 65536;

struct Result {
  qlm::CReceiveBuffer::Take take = qlm::CReceiveBuffer::kWait;
  std::string block;
  bool ok = false;
  int error = 0;
  std::string location;
  int64_t length = 0;
  bool operator==(const Result&) const = default;
};

Result Frame(const uint8_t* data, size_t size, uint8_t piece_seed) {
  qlm::CReceiveBuffer buffer(4 * kLimit);
  Result r;
  size_t at = 0;
  uint32_t state = piece_seed | 1u;
  while (at < size && r.take == qlm::CReceiveBuffer::kWait) {
    size_t piece = size - at;
    if (piece_seed != 0) {
      state = state * 1103515245u + 12345u;
      piece = std::min<size_t>(piece, 1 + (state >> 16) % 17);
    }
    piece = std::min(piece, buffer.Room());
    std::memcpy(buffer.WritePos(), data + at, piece);
    buffer.Commit(piece);
    at += piece;
    r.take = buffer.TakeHeaderBlock(kLimit, &r.block);
  }
  if (r.take == qlm::CReceiveBuffer::kTaken) {
    qlm::CHttpHeaders h;
    r.ok = h.ParseReplyHeaders(r.block);
    r.error = h.ParseError();
    r.location = h.Location();
    if (r.location.size() > qlm::CHttpHeaders::kMaxLocationBytes) abort();
    if (r.ok != (r.error == 0)) abort();
    r.length = qlm::CHttpHeaders::ScanContentLength(r.block);
    if (r.length < 0) abort();
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 3 * kLimit) return 0;
  const uint8_t seed = data[0];
  Result whole = Frame(data + 1, size - 1, 0);
  Result pieces = Frame(data + 1, size - 1, seed);
  if (!(whole == pieces)) abort();

  // The parser alone, on the raw bytes as a block.
  qlm::CHttpHeaders h;
  std::string raw(reinterpret_cast<const char*>(data + 1), size - 1);
  h.ParseReplyHeaders(raw);
  if (h.Location().size() > qlm::CHttpHeaders::kMaxLocationBytes) abort();
  return 0;
}
