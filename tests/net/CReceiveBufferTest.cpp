#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "net/CHttpHeaders.h"
#include "net/CReceiveBuffer.h"
#include "net/HttpStatusLine.h"

namespace qlm {
namespace {

constexpr size_t kLimit = 65536;

// What a reader makes of a reply: the framing steps, then both parsers on their pieces.
struct Framed {
  std::string status_line;
  HttpStatusLine status;
  std::string block;
  int64_t content_length = -1;
  bool headers_ok = false;
  int parse_error = 0;
  std::string location, subtype;
  std::string rest;
  CReceiveBuffer::Take line_take = CReceiveBuffer::kWait;
  CReceiveBuffer::Take block_take = CReceiveBuffer::kWait;

  bool operator==(const Framed& o) const {
    return status_line == o.status_line && status.status_code == o.status.status_code &&
           status.version_major == o.status.version_major &&
           status.version_minor == o.status.version_minor && block == o.block &&
           content_length == o.content_length && headers_ok == o.headers_ok &&
           parse_error == o.parse_error && location == o.location && subtype == o.subtype &&
           rest == o.rest && line_take == o.line_take && block_take == o.block_take;
  }
};

// Feeds the reply in the given pieces, taking each framing step as soon as it can.
Framed Feed(const std::string& reply, const std::vector<size_t>& pieces) {
  CReceiveBuffer buffer(kLimit * 4);
  Framed f;
  size_t at = 0;
  for (size_t i = 0; at < reply.size(); ++i) {
    size_t piece = std::min(pieces[i % pieces.size()], reply.size() - at);
    EXPECT_GE(buffer.Room(), piece);  // a test reply never fills the buffer
    if (buffer.Room() < piece) break;
    std::memcpy(buffer.WritePos(), reply.data() + at, piece);
    buffer.Commit(piece);
    at += piece;
    if (f.line_take == CReceiveBuffer::kWait) {
      f.line_take = buffer.TakeLine(kLimit, &f.status_line);
      if (f.line_take == CReceiveBuffer::kTaken) ParseStatusLine(f.status_line, &f.status);
    }
    if (f.line_take == CReceiveBuffer::kTaken && f.block_take == CReceiveBuffer::kWait) {
      f.block_take = buffer.TakeHeaderBlock(kLimit, &f.block);
      if (f.block_take == CReceiveBuffer::kTaken) {
        CHttpHeaders h;
        f.headers_ok = h.ParseReplyHeaders(f.block);
        f.parse_error = h.ParseError();
        f.location = h.Location();
        f.subtype = h.MediaSubtype();
        f.content_length = CHttpHeaders::ScanContentLength(f.block);
      }
    }
    // Where a reader stops reading after a too-long step depends on the pieces; the verdict not.
    if (f.line_take == CReceiveBuffer::kTooLong || f.block_take == CReceiveBuffer::kTooLong) {
      return f;
    }
  }
  f.rest.assign(buffer.Data(), buffer.Buffered());
  return f;
}

std::vector<size_t> RandomPieces(uint32_t seed, size_t max_piece) {
  std::mt19937 random(seed);
  std::vector<size_t> pieces(97);
  for (auto& p : pieces) p = std::uniform_int_distribution<size_t>(1, max_piece)(random);
  return pieces;
}

TEST(CReceiveBuffer, GivesTheSameResultInOnePieceByteByByteAndInRandomPieces) {
  const std::string replies[] = {
      "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Type: text/html; charset=utf-8\r\n"
      "Location: /x\r\n\r\nhello",
      "HTTP/1.0 404\r\nServer: s\n\nbody\r\n\r\nmore",
      "HTTP/1.1 302 Found\nLocation: http://a/b\n\n",
      "HTTP/1.0 200 OK\r\n\r\n\r\n\r\nbody starts with blank lines",
      "HTTP/1.0 200 OK\r\n\n",
      "HTTP/1.0 200 OK\n\r\n\r\nx",
      "HTTP/1.0 200 OK\r\nX: a\r\n\nmixed ends",
      "HTTP/1.0 200 OK\r\nDate: nonsense\r\nContent-Length: 3\r\n\r\nabc",
      "no status line at all\r\n\r\n",
      "HTTP/1.0 200 OK\r\nX: " + std::string(kLimit - 5, 'y') + "\r\n\r\nfits exactly",
      "HTTP/1.0 200 OK\r\nX: " + std::string(kLimit - 4, 'y') + "\r\n\r\none byte too many",
      "HTTP/1.0 200 " + std::string(kLimit, 'r') + "\r\nX: y\r\n\r\n",
  };
  for (const auto& reply : replies) {
    SCOPED_TRACE(reply.substr(0, 60));
    const Framed whole = Feed(reply, {reply.size()});
    EXPECT_EQ(Feed(reply, {1}), whole);
    for (uint32_t seed = 1; seed <= 20; ++seed) {
      EXPECT_EQ(Feed(reply, RandomPieces(seed, 64)), whole) << "seed " << seed;
    }
  }
}

TEST(CReceiveBuffer, LimitsTheStatusLineAndTheHeaderBlockTo64KiBEach) {
  auto block_of = [](size_t size) {
    std::string block = "X: " + std::string(size - 3, 'v');
    return "HTTP/1.0 200 OK\r\n" + block + "\r\n\r\nbody";
  };
  Framed fits = Feed(block_of(kLimit), {4096});
  EXPECT_EQ(fits.block_take, CReceiveBuffer::kTaken);
  EXPECT_EQ(fits.block.size(), kLimit);
  EXPECT_EQ(fits.rest, "body");
  EXPECT_EQ(Feed(block_of(kLimit + 1), {4096}).block_take, CReceiveBuffer::kTooLong);
  // Too long is known as soon as the limit is passed, before any terminator arrives.
  EXPECT_EQ(Feed("HTTP/1.0 200 OK\r\n" + std::string(kLimit + 4, 'v'), {4096}).block_take,
            CReceiveBuffer::kTooLong);

  std::string line(kLimit, 'L');
  EXPECT_EQ(Feed(line + "\n", {4096}).line_take, CReceiveBuffer::kTaken);
  EXPECT_EQ(Feed(line + "L\n", {4096}).line_take, CReceiveBuffer::kTooLong);
  EXPECT_EQ(Feed(line + "L", {4096}).line_take, CReceiveBuffer::kTooLong);
  EXPECT_EQ(Feed(line, {4096}).line_take, CReceiveBuffer::kWait);
}

TEST(CReceiveBuffer, ReusesRoomOfConsumedBytes) {
  CReceiveBuffer buffer(8);
  std::memcpy(buffer.WritePos(), "abcdefgh", 8);
  buffer.Commit(8);
  EXPECT_EQ(buffer.Room(), 0u);
  buffer.Consume(5);
  EXPECT_EQ(buffer.Room(), 5u);
  EXPECT_EQ(std::string(buffer.Data(), buffer.Buffered()), "fgh");
}

}  // namespace
}  // namespace qlm
