#pragma once

#include <string>

#include "project/ProjectItem.h"

namespace qlm {

// Writes a project tree in the project file's text form: the ProjectDefault block with the root's
// options, then every Folder and Record in tree order, one tab of indentation per level, lines
// ending in LF. An option is written where the item sets it; the extension lists are written
// from the item that supplies their group.
//
// Every file written reads back: a URL is written with "%" and the double quote %-escaped (the
// reader unescapes it to the same bytes), other strings have a double quote turned into "'" and
// are cut to the reader's 4095 bytes (never inside a double-byte character), and numbers are
// written as the unsigned 32-bit decimal the reader wraps back to the same value.
class ProjectWriter {
 public:
  // The file text; false when a URL is too long for the reader even after escaping.
  static bool Format(const ProjectItem& root, std::string& text);
  // Writes the file beside `path` and renames it over `path`, so that a failed write leaves the
  // old file. False when the text cannot be formed or the file cannot be written.
  static bool Write(const std::string& path, const ProjectItem& root);
};

}  // namespace qlm
