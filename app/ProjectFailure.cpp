#include "app/ProjectFailure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "project/ProjectReader.h"

namespace qlm {

namespace {

// Why a project file cannot be read, in the system's words.
std::string ReadFailure(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(st.st_mode)) return "not a plain file";
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return std::strerror(errno);
  std::fclose(file);
  return "read error";
}

}  // namespace

std::string ProjectFailure(const CQLMDoc& doc, const std::string& path) {
  switch (doc.LastError()) {
    case CQLMDoc::kErrLoad:
      return "cannot read the project file " + path + ": " + ReadFailure(path);
    case CQLMDoc::kErrSyntax:
      return "the project file " + path + " cannot be read past line " +
             std::to_string(doc.SyntaxLine()) + " (not a project file, cut off, damaged, or " +
             "folders nested more than " + std::to_string(ProjectReader::kMaxDepth) +
             " deep); it was left as it is";
    case CQLMDoc::kErrFolder:
      return "cannot create the project folder " + doc.ProjectFolder();
    case CQLMDoc::kErrQueue:
      if (doc.QueueDamaged()) {
        return "the queue file " + doc.FailedQueue() +
               " is damaged; it was left as it is. `QLM --reset " + path +
               "` forgets the interrupted patrol (the next patrol starts anew)";
      }
      return "the queue files in " + doc.ProjectFolder() +
             " cannot be opened or converted (damaged?)";
    case CQLMDoc::kErrDeclined:
      return "the queue files of an older version were not converted; nothing was changed";
    default:
      return "cannot open the project " + path;
  }
}

}  // namespace qlm
