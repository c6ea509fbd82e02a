#include "platform/IniFile.h"

#include <charconv>

namespace qlm {

namespace {

constexpr size_t kNone = std::string::npos;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The section a header line opens, or nullopt when the line is no header.
std::optional<std::string_view> HeaderOf(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const size_t close = line.rfind(']');
  if (close == kNone || close == 0) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The name of a value line, or nullopt for headers, comments and lines without "=".
std::optional<std::string_view> NameOf(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' ||
      trimmed.front() == '[') {
    return std::nullopt;
  }
  const size_t equals = line.find('=');
  if (equals == kNone) return std::nullopt;
  return Trim(line.substr(0, equals));
}

bool HasOuterSpace(std::string_view text) {
  return text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

IniFile IniFile::Parse(std::string_view bytes) {
  IniFile file;
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    file.lines_.emplace_back(line);
    if (end == kNone) break;
    bytes.remove_prefix(end + 1);
  }
  return file;
}

std::string IniFile::Serialize() const {
  std::string bytes;
  for (const std::string& line : lines_) {
    bytes += line;
    bytes += '\n';
  }
  return bytes;
}

size_t IniFile::Find(std::string_view section, std::string_view name) const {
  bool inside = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (const auto header = HeaderOf(lines_[i])) {
      inside = SameName(*header, section);
    } else if (inside) {
      const auto line_name = NameOf(lines_[i]);
      if (line_name && SameName(*line_name, name)) return i;
    }
  }
  return kNone;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view name) const {
  const size_t index = Find(section, name);
  if (index == kNone) return std::nullopt;
  const std::string& line = lines_[index];
  return Unescape(std::string_view(line).substr(line.find('=') + 1));
}

std::optional<int32_t> IniFile::GetNumber(std::string_view section, std::string_view name) const {
  const auto text = Get(section, name);
  if (!text) return std::nullopt;
  const std::string_view digits = Trim(*text);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
    return std::nullopt;
  }
  return value;
}

bool IniFile::Set(std::string_view section, std::string_view name, std::string_view value) {
  if (!IsValidSection(section) || !IsValidName(name)) return false;
  const size_t index = Find(section, name);
  if (index != kNone) {
    // Keep the name as the file spells it; only the value changes.
    std::string& line = lines_[index];
    line.resize(line.find('=') + 1);
    line += Escape(value);
    return true;
  }
  std::string line = std::string(name) + "=" + Escape(value);
  // After the last value of the first section of that name, so that blank lines and comments
  // that close the section stay below it.
  size_t insert_at = kNone;
  bool inside = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (const auto header = HeaderOf(lines_[i])) {
      if (inside) break;
      inside = SameName(*header, section);
      if (inside) insert_at = i + 1;
    } else if (inside && NameOf(lines_[i])) {
      insert_at = i + 1;
    }
  }
  if (insert_at != kNone) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), std::move(line));
    return true;
  }
  if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
  // Built by appending: GCC 12 warns falsely (-Wrestrict) on "[" + std::string(...).
  std::string header(1, '[');
  header.append(section).append(1, ']');
  lines_.push_back(std::move(header));
  lines_.push_back(std::move(line));
  return true;
}

bool IniFile::SetNumber(std::string_view section, std::string_view name, int32_t value) {
  return Set(section, name, std::to_string(value));
}

bool IniFile::Remove(std::string_view section, std::string_view name) {
  bool removed = false;
  for (size_t index; (index = Find(section, name)) != kNone; removed = true) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  return removed;
}

bool IniFile::IsValidSection(std::string_view section) {
  return !section.empty() && !HasOuterSpace(section) && section.find_first_of("]\r\n") == kNone;
}

bool IniFile::IsValidName(std::string_view name) {
  return !name.empty() && !HasOuterSpace(name) && name.find_first_of("=\r\n") == kNone &&
         name.front() != '[' && name.front() != ';' && name.front() != '#';
}

std::string IniFile::Escape(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          text += "\\x";
          text += kHex[byte >> 4];
          text += kHex[byte & 15];
        } else {
          text += c;
        }
    }
  }
  return text;
}

std::string IniFile::Unescape(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      bytes += text[i];
      continue;
    }
    const char next = text[i + 1];
    if (next == '\\' || next == 'n' || next == 'r' || next == 't') {
      bytes += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
      ++i;
    } else if (next == 'x' && i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 &&
               HexDigit(text[i + 3]) >= 0) {
      bytes += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 3;
    } else {
      bytes += '\\';
    }
  }
  return bytes;
}

}  // namespace qlm
