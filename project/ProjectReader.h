#pragma once

#include <memory>
#include <vector>

#include "project/ProjectItem.h"
#include "project/ProjectLexer.h"

namespace qlm {

// Reads a project file into a tree. The file is an optional ProjectDefault block with the root's
// options, then Folder and Record items, up to its end. Any syntax error (a bad byte, an unknown
// or misplaced word, a missing "=", "{", "}" or ",", a value word of another key, a bad %-escape
// in a URL, the end of the file inside a block, anything after the last item, a file with nothing
// in it, folders nested deeper than kMaxDepth) stops the read: every item built so far is freed
// and the root keeps only the options read before the error; the lexer's Line() tells where.
class ProjectReader {
 public:
  // Folders within folders, at most. Every user of a tree walks an item's folders above it (its
  // folder path, its inherited options, the indentation of the file it is written back to), so a
  // deeper tree would cost time and memory that grow with the square of the file's size.
  static constexpr std::size_t kMaxDepth = 256;

  // True when the whole file parsed. Reading costs no stack.
  static bool Read(ProjectLexer& lexer, ProjectItem& root);

 private:
  explicit ProjectReader(ProjectLexer& lexer) : lexer_(lexer) {}

  bool ReadAll(ProjectItem& root);
  // Reads options into `item` until a token that is not an option key; that token is left in
  // token_. `item_keys` admits "URL", "Title" and "LocalName" (not in ProjectDefault).
  bool ReadOptions(ProjectItem& item, bool item_keys);
  // Reads "=" and the value of the key in token_.
  bool ReadValue(ProjectItem& item, bool item_keys, bool& was_key);
  bool Expect(ProjectLexer::Kind kind);
  bool ExpectNumber(int32_t& value);
  bool ExpectString(std::string& text);
  void Advance() { token_ = lexer_.Next(); }

  ProjectLexer& lexer_;
  ProjectLexer::Token token_;
};

}  // namespace qlm
