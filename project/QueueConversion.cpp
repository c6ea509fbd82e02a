#include "project/QueueConversion.h"

#include <unistd.h>

#include <cstdio>

namespace qlm {

namespace {

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char buffer[65536];
  bytes.clear();
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    bytes.append(buffer, n);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// Replaces `to` with a copy of `from`, written beside it first so that `to` is never half there.
bool CopyFile(const std::string& from, const std::string& to) {
  std::string bytes;
  if (!ReadWhole(from, bytes)) return false;
  const std::string temp = to + ".tmp";
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ::fsync(fileno(file)) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), to.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

}  // namespace

bool ConvertQueueFile(PatrolQueue& queue, int32_t new_version, const RecordConverter& convert,
                      const std::function<void(std::size_t)>& progress) {
  const int32_t version = queue.FileVersion();
  if (version == new_version) return true;
  const std::string path = queue.Path();
  const std::string backup = path + "." + std::to_string(version);
  const std::string converted_path = path + ".new";
  queue.Close();
  if (!CopyFile(path, backup)) {
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
