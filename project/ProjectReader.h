#pragma once

#include <memory>
#include <vector>

#include "project/ProjectItem.h"
#include "project/ProjectLexer.h"

namespace qlm {

// Reads a project file into a tree. The file is an optional ProjectDefault block with the root's
// options, then Folder and Record items; the top level ends, successfully, at the first token that
// starts neither. Any syntax error inside a block (a bad byte, an unknown or misplaced word, a
// missing "=", "{", "}" or ",", a value word of another key, a bad %-escape in a URL, the end of
// the file) stops the read: every item built so far is freed and the root keeps only the options
// read before the error.
class ProjectReader {
 public:
  // True when the whole file parsed. Nesting depth is not limited and costs no stack.
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
