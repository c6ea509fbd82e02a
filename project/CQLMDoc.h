#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Prompt.h"
#include "project/AppSettings.h"
#include "project/LinkRecord.h"
#include "project/PatrolQueue.h"
#include "project/ProjectItem.h"
#include "project/SettingsDefaults.h"

namespace qlm {

// The project document: the project tree, its file, its folder below the mirror folder, and the
// patrol queues kept there. New, open and save follow the file rules of the project; a queue file
// from an older version is converted when the user agrees.
//
// File names: a path handed to open or save names the project file when it ends in ".prj" (any
// letter case); the base path is the path without that ending, and a path without it gets ".prj"
// appended. The base name (after the last "/") is the project's name and the root's title; the
// project folder is MirrorDir + name + "/", holding the work queue "<name>.uq" and the localize
// queue "<name>.lq".
//
// Used on the user-interface thread (or the headless main thread) only; the project folder and
// the queue files are created and replaced under the application lock.
class CQLMDoc {
 public:
  // Last-error codes.
  static constexpr int16_t kErrNone = 0;
  static constexpr int16_t kErrNoMemory = -1;
  static constexpr int16_t kErrLoad = -2;    // the project file could not be read
  static constexpr int16_t kErrWrite = -7;   // the project file could not be written
  static constexpr int16_t kErrFolder = -9;  // the project folder could not be created
  // A queue file could not be opened or created, is damaged, or could not be converted.
  static constexpr int16_t kErrQueue = -10;
  // The user declined to convert queue files of an older version.
  static constexpr int16_t kErrDeclined = -11;
  // The project file does not read completely (SyntaxLine() tells where); it is left as it is.
  static constexpr int16_t kErrSyntax = -13;

  static constexpr std::string_view kConvertQuestion =
      "古いバージョンのファイルが検出されました。現在のバージョンで使用できるようにコンバートします"
      "か？";
  static constexpr std::string_view kConvertFailed = "ファイルのコンバートに失敗しました。";
  static constexpr std::string_view kConvertTitle = "ファイルのコンバート";
  static constexpr std::string_view kPatrolRunning =
      "現在巡回を実行中です。\n巡回を終了させてからドキュメントを閉じて下さい。";

  // What StartPatrol did: walked the tree (or resumed interrupted queues), and how many records
  // each queue holds for the status view's counters.
  struct PatrolStart {
    bool resumed = false;
    std::size_t work = 0;      // records in the work queue ("Detected")
    std::size_t localize = 0;  // records in the localize queue ("Localize")
  };

  CQLMDoc(const AppSettings& settings, Prompt& prompt);
  ~CQLMDoc();
  CQLMDoc(const CQLMDoc&) = delete;
  CQLMDoc& operator=(const CQLMDoc&) = delete;

  // A project with only the root, titled `title`; fresh empty queue files in its folder.
  bool New(const std::string& title);
  // Whether Open touches the project folder and its queue files. A program that finds another
  // one patrolling the project reads only the tree: opening the queues may repair or cut back
  // files that the patrol is writing.
  enum class QueueAccess { kOpen, kLeave };
  // Reads the project file and opens its queue files. A file that is not a plain file, or does not
  // read completely, is refused (kErrLoad, kErrSyntax) with an empty tree.
  bool Open(const std::string& path, QueueAccess queues = QueueAccess::kOpen);
  // Opens the queue files of the project folder afresh (creating the folder when it is missing,
  // converting files of an older version when the user agrees), as Open does: for a program that
  // opened the tree only (QueueAccess::kLeave), or whose queues another program patrolled since.
  bool OpenQueueFiles();
  // Writes the project file; under a new name the queues move to the new project folder (the old
  // folder keeps its files).
  bool Save(const std::string& path);
  // False, after telling the user, while a patrol of this project runs.
  bool CanClose();
  // Frees the tree and closes the queue files.
  void Close();

  ProjectItem& Root() { return *root_; }
  const ProjectItem& Root() const { return *root_; }
  const std::string& PathName() const { return path_name_; }
  std::string Name() const { return root_->Title().value_or(""); }
  // MirrorDir + name + "/".
  std::string ProjectFolder() const;
  int16_t LastError() const { return last_error_; }
  // The line at which the last open stopped reading the project file (kErrSyntax).
  int SyntaxLine() const { return syntax_line_; }
  // The queue file that the last open could not open (empty when both opened), and whether it was
  // refused as damaged (it is then left as it is).
  const std::string& FailedQueue() const { return failed_queue_; }
  bool QueueDamaged() const { return queue_damaged_; }
  bool IsModified() const { return modified_; }
  void SetModified(bool modified = true) { modified_ = modified; }
  bool PatrolRunning() const { return patrol_running_; }
  void SetPatrolRunning(bool running) { patrol_running_ = running; }
  // Told when a save gives the root a new title (the views show it).
  void OnRootTitleChanged(std::function<void(const std::string&)> listener) {
    root_title_changed_ = std::move(listener);
  }

  // The project file that open and save use for `path`.
  static std::string ProjectFilePath(const std::string& path);
  // The project folder that Open(path) will use, known before the file is read (and before its
  // queue files are opened), so that a patrol can take the project's lock first.
  static std::string ProjectFolderOf(const AppSettings& settings, const std::string& path);

  const AppSettings& Settings() const { return settings_; }
  const ItemDefaults& Defaults() const { return defaults_; }
  PatrolQueue& WorkQueue() { return work_queue_; }
  PatrolQueue& LocalizeQueue() { return localize_queue_; }
  // Records waiting for a busy server or a site's robots.txt, in memory.
  std::deque<LinkRecord>& Deferred() { return deferred_; }
  // URL items whose patrol mark is forbidden, as found by the last start.
  const std::vector<const ProjectItem*>& Forbidden() const { return forbidden_; }

  // The item with this folder path and URL (an empty URL names a Folder or the root; a URL matches
  // as entered or normalized); null when there is none.
  const ProjectItem* FindItem(std::string_view folder_path, std::string_view url) const;

  // Starts a patrol of the whole project (`start` null) or of one item's subtree. Queues left by an
  // interrupted patrol are resumed as they are (held records go back to the front of the work
  // queue). Otherwise the tree is walked: each URL item that is not forbidden (and, for
  // `selected_only`, is marked Selected), whose URL parses and passes the item's filters, puts one
  // record into the work queue. Forbidden URL items are listed in Forbidden() either way.
  bool StartPatrol(const ProjectItem* start, bool selected_only, PatrolStart& result);
  // Resets the patrol state: deletes and recreates both queue files (the next patrol walks anew),
  // creating the project folder first when it is missing (kErrFolder when it cannot be made), and
  // empties the deferred list.
  bool ResetQueues();
  // Puts the deferred records back at the front of the work queue, keeping their order.
  bool RequeueDeferred();

 private:
  // Splits an open or save path into the project file path and the base path.
  static void SplitPath(const std::string& path, std::string& file, std::string& base);
  std::string QueuePath(std::string_view name, std::string_view extension) const;
  bool OpenQueues(const std::string& name, bool fresh);
  bool ConvertQueue(PatrolQueue& queue);
  void ResetRoot();
  // Walks the subtree of `start` in patrol order; `queue` false only lists forbidden items.
  bool Walk(const ProjectItem& start, bool selected_only, bool queue, std::size_t& queued);
  bool Fail(int16_t error) {
    last_error_ = error;
    return false;
  }

  const AppSettings& settings_;
  SettingsDefaults defaults_;
  Prompt& prompt_;
  std::unique_ptr<ProjectItem> root_;  // never null; its title is the project's name
  std::string path_name_;              // the project file, empty for a new project
  int16_t last_error_ = kErrNone;
  int syntax_line_ = 0;
  std::string failed_queue_;
  bool queue_damaged_ = false;
  bool modified_ = false;
  bool patrol_running_ = false;
  PatrolQueue work_queue_{LinkRecord::kVersion};
  PatrolQueue localize_queue_{LinkRecord::kVersion};
  std::deque<LinkRecord> deferred_;
  std::vector<const ProjectItem*> forbidden_;
  std::function<void(const std::string&)> root_title_changed_;
};

}  // namespace qlm
