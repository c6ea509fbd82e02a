#include "project/QueueConversion.h"

#include <cstdio>

#include "platform/WholeFile.h"

namespace qlm {

bool ConvertQueueFile(PatrolQueue& queue, int32_t new_version, const RecordConverter& convert,
                      const std::function<void(std::size_t)>& progress) {
  const int32_t version = queue.FileVersion();
  if (version == new_version) return true;
  const std::string path = queue.Path();
  const std::string backup = path + "." + std::to_string(version);
  const std::string converted_path = path + ".new";
  queue.Close();
  // The backup is written beside its name first, so that it is never there half written.
  if (ReplaceFileWithCopy(backup, path, {.temporary = TemporaryName::kFixed}) != 0) {
    queue.Open(path);
    return false;
  }

  PatrolQueue old(version);
  PatrolQueue converted(new_version);
  std::remove(converted_path.c_str());
  bool ok = old.OpenForReading(backup) && converted.Open(converted_path) &&
            converted.FileVersion() == new_version;
  std::size_t count = 0;
  if (progress) progress(count);
  bool records_ok = true;
  ok =
      ok && old.ForEach(PatrolQueue::Chain::kMain, [&](PatrolQueue::NodeId, std::string_view data) {
        std::string record;
        records_ok = convert(data, version, record) &&
                     (record.empty() || converted.Append(std::string_view(record)));
        if (records_ok) {
          ++count;
          if (progress) progress(count);
        }
        return records_ok;
      });
  ok = ok && records_ok;
  converted.Close();
  old.Close();
  ok = ok && std::rename(converted_path.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(converted_path.c_str());
  return queue.Open(path) && ok && queue.FileVersion() == new_version;
}

}  // namespace qlm
