#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "project/PatrolQueue.h"

namespace qlm {

// Turns the records of one old record into the current version's form: `converted` receives the
// new record, or stays empty to leave the record out. False stops the conversion as failed.
using RecordConverter =
    std::function<bool(std::string_view old_record, int32_t old_version, std::string& converted)>;

// Converts the open record list `queue`, whose file carries an older version, to `new_version`
// (the version the queue object was made with). The old file is first copied to its backup
// "<path>.<old version>", which stays on disk; the converted records go to a file beside the list
// that replaces it only when complete, so a conversion that fails or is cut off leaves the old
// file and the next open meets it again. `progress`, when given, is told the number of records
// converted so far (0 before the first). On return the queue is open again on its path; true when
// it now holds the converted records in the new version.
bool ConvertQueueFile(PatrolQueue& queue, int32_t new_version, const RecordConverter& convert,
                      const std::function<void(std::size_t)>& progress = nullptr);

}  // namespace qlm
