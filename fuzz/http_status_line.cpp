// Status lines of any bytes: the parse must never read past the line nor overflow its numbers,
// and a line must parse the same whether it comes alone or framed in a receive buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/CReceiveBuffer.h"
#include "net/HttpStatusLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  qlm::HttpStatusLine direct;
  bool ok = qlm::ParseStatusLine(line, &direct);
  if (direct.status_code < 0 || direct.version_major < 0 || direct.version_minor < 0) abort();

  qlm::CReceiveBuffer buffer(size + 16);
  std::memcpy(buffer.WritePos(), data, size);
  buffer.Commit(size);
  std::memcpy(buffer.WritePos(), "\n", 1);
  buffer.Commit(1);
  std::string framed_line;
  if (buffer.TakeLine(size + 1, &framed_line) != qlm::CReceiveBuffer::kTaken) abort();
  if (line.find('\n') == std::string::npos) {
    qlm::HttpStatusLine framed;
    if (framed_line != line || qlm::ParseStatusLine(framed_line, &framed) != ok ||
        framed.status_code != direct.status_code) {
      abort();
    }
  }
  return 0;
}
