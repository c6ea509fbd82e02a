#pragma once

#include <string>
#include <string_view>

namespace qlm {

class ProjectItem;

// The commands of the project tree and when each may run.
enum class TreeCommand {
  kNewFolder,       // "新規フォルダ"
  kNewUrl,          // "新規 URL"
  kUrlFromBrowser,  // "ﾌﾞﾗｳｻﾞからURL取込み"
  kDelete,          // "削除(&D)Ctrl+D"
  kProperties,      // "アイテムのプロパティ"
  kDeleteData,      // "保存データ削除"
  kCopyData,        // "保存データコピー"
  kMoveData,        // "保存データ移動"
  kShowInBrowser,   // "ブラウザで表示"
  kMarkDefault,     // "デフォルト巡回"
  kMarkSelected,    // "選択巡回"
  kMarkForbidden,   // "巡回禁止"
};

// What the selected node is.
enum class TreeSelection { kNone, kRoot, kFolder, kUrlItem, kLink };

// The state the enable rules read.
struct TreeConditions {
  bool slide_window = false;  // the slide window is open
  bool screen_saver = false;  // the screen saver's window is up
  bool changer = false;       // the wallpaper changer is on
  bool patrolling = false;    // the project patrols (or works on saved data)
  TreeSelection selection = TreeSelection::kNone;
};

// Whether `command` may run now. Commands that change items or saved data wait for the picture
// displays to be off (they read the items and their mirror); every command but the browser's
// waits for the patrol to end.
bool TreeCommandEnabled(TreeCommand command, const TreeConditions& conditions);

// Why a dragged item cannot be dropped on a target; kNone when it can.
enum class DropRefusal {
  kNone,
  kPatrolling,
  kNoTarget,
  kNotAFolder,
  kSelf,
  kBelowSelf,
  kSameParent
};
// `target` may be null (no node under the cursor, or a link node).
DropRefusal CheckDrop(const ProjectItem& dragged, const ProjectItem* target, bool patrolling);

// Whether a timer or slide-show entry (project file, folder path, URL) names `item` of the project
// file `file` or an item below it: deleting the item takes such entries with it. A Record's own
// entry matches exactly; a folder's entries are its own and those whose folder path lies below
// its path (a folder "F" does not take the entries of a sibling "Foo").
bool EntryBelongsTo(const ProjectItem& item, std::string_view file, std::string_view entry_file,
                    std::string_view entry_folder, std::string_view entry_url);

}  // namespace qlm
