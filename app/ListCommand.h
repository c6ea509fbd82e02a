#pragma once

#include <cstdio>
#include <string>

#include "project/CQLMDoc.h"

namespace qlm {

// QLM --list [--yes] FILE.prj: opens a project as the main program does (settings read, project
// folder and queue files made in the mirror folder) and prints its tree, so that a user can see
// what a patrol would do. Runs without a display.
//
// One line per item, depth first in file order, two spaces of indentation per level below the
// root: the kind ("ProjectDefault", "Folder", "Record"), the title in double quotes, a Record's
// URL in double quotes, then " Key=value" for each patrol option with the item's effective value
// (inheritance, then the application's). Numbers in decimal, strings in double quotes; passwords
// are never printed.
class ListCommand {
 public:
  // Exit status 0 when the tree was printed; 2, with a message on `err`, when the project cannot
  // be opened. Questions (converting old queue files) are asked on `err` and answered from `in`,
  // or answered yes with `assume_yes`.
  static int Run(const std::string& project_path, bool assume_yes, std::FILE* in, std::FILE* out,
                 std::FILE* err);

  // The printed tree of an open document.
  static std::string Format(const CQLMDoc& doc);
};

}  // namespace qlm
