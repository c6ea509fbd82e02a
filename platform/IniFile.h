#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm {

// The text of the settings file, held as its lines so that everything this program does not know
// (comments, blank lines, other sections, lines without "=") is written back exactly as it was.
//
// Format: "[Section]" lines open a section (a key path written with "\", such as
// "ControlBars\State"); "Name=value" lines inside a section hold values. Everything after the
// first "=" is the value; a string value is stored escaped (see Escape) so that any byte
// survives. Lines starting with ";" or "#" are comments. Section and value names compare without
// regard to ASCII letter case, as registry keys and value names do; the first of two equal names
// wins. Lines end with LF; a CR before the LF is dropped on reading.
class IniFile {
 public:
  static IniFile Parse(std::string_view bytes);
  std::string Serialize() const;

  // The unescaped value of a name in a section; nullopt when the file has none.
  std::optional<std::string> Get(std::string_view section, std::string_view name) const;
  // A signed decimal value that fits 32 bits (spaces around it allowed); nullopt when absent or
  // not such a number.
  std::optional<int32_t> GetNumber(std::string_view section, std::string_view name) const;

  // Stores a value: replaces the first line of that name in the section, else adds a line after
  // the section's last value, else adds the section at the end. False, and nothing changed, when
  // the section or name could not be read back (see IsValidSection, IsValidName).
  bool Set(std::string_view section, std::string_view name, std::string_view value);
  bool SetNumber(std::string_view section, std::string_view name, int32_t value);
  // Removes every line of that name in the section; false when there was none.
  bool Remove(std::string_view section, std::string_view name);

  // A section name can be written and found again: not empty, no line break, no "]" and no
  // spaces at either end.
  static bool IsValidSection(std::string_view section);
  // A value name can be written and found again: not empty, no "=", no line break, no spaces at
  // either end, and not starting with "[", ";" or "#".
  static bool IsValidName(std::string_view name);

  // "\" as "\\", LF, CR and tab as "\n", "\r", "\t", any other byte below 0x20 and 0x7F as
  // "\xHH" (upper-case hex); every other byte, 0x80 and above included, as itself.
  static std::string Escape(std::string_view bytes);
  // The reverse; also takes lower-case hex. A backslash that starts no known escape stands for
  // itself, so a hand-edited path such as C:\dir reads as written.
  static std::string Unescape(std::string_view text);

 private:
  // Index of the line holding the value, or npos.
  size_t Find(std::string_view section, std::string_view name) const;

  std::vector<std::string> lines_;  // without line ends
};

}  // namespace qlm
