#pragma once

#include <string>

#include "project/CQLMDoc.h"

namespace qlm {

// Why opening (or resetting) the project file `path` failed, from the document's last error, as
// the headless modes tell it.
std::string ProjectFailure(const CQLMDoc& doc, const std::string& path);

}  // namespace qlm
