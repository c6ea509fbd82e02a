#include "project/ProjectLexer.h"

namespace qlm {

namespace {

constexpr int kEof = -1;
constexpr int kNone = -2;

bool IsLetter(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}
bool IsLeadByte(int c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}
bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

int ProjectLexer::Get() {
  int c = kEof;
  if (pending_ != kNone) {
    c = pending_;
    pending_ = kNone;
  } else if (file_) {
    c = std::getc(file_);
    if (c == EOF) c = kEof;
  } else if (pos_ < text_.size()) {
    c = static_cast<unsigned char>(text_[pos_++]);
  }
  if (c == '\n') ++line_;
  return c;
}

ProjectLexer::Token ProjectLexer::Next() {
  Token token;
  int c = Get();
  while (IsBlank(c)) c = Get();
  switch (c) {
    case kEof:
      token.kind = Kind::kEnd;
      return token;
    case ',':
      token.kind = Kind::kComma;
      return token;
    case '=':
      token.kind = Kind::kEqual;
      return token;
    case '{':
      token.kind = Kind::kOpen;
      return token;
    case '}':
      token.kind = Kind::kClose;
      return token;
    case '"':
      token.kind = Kind::kString;
      for (c = Get(); c != '"'; c = Get()) {
        if (c == kEof || token.text.size() == kMaxText) {
          token.kind = Kind::kInvalid;
          return token;
        }
        token.text.push_back(static_cast<char>(c));
      }
      return token;
    default:
      break;
  }
  if (IsDigit(c)) {
    uint32_t value = 0;
    for (; IsDigit(c); c = Get()) value = value * 10 + static_cast<uint32_t>(c - '0');
    Unget(c);
    token.kind = Kind::kNumber;
    token.number = static_cast<int32_t>(value);
    return token;
  }
  if (IsLetter(c) || IsLeadByte(c)) {
    token.kind = Kind::kWord;
    auto keep = [&token](int byte) {
      if (token.text.size() < kMaxText) token.text.push_back(static_cast<char>(byte));
    };
    for (; IsLetter(c) || IsDigit(c) || IsLeadByte(c); c = Get()) {
      keep(c);
      if (IsLeadByte(c)) {
        const int trail = Get();
        if (trail == kEof) return token;
        keep(trail);
      }
    }
    Unget(c);
    return token;
  }
  token.kind = Kind::kInvalid;
  return token;
}

}  // namespace qlm
