#include "app/gui/views/TreeCommands.h"

#include "project/ProjectItem.h"

namespace qlm {

bool TreeCommandEnabled(TreeCommand command, const TreeConditions& c) {
  const bool displays_off = !c.slide_window && !c.screen_saver && !c.changer;
  const bool editable = displays_off && !c.patrolling;
  const TreeSelection s = c.selection;
  const bool container = s == TreeSelection::kRoot || s == TreeSelection::kFolder;
  const bool item = container || s == TreeSelection::kUrlItem;
  switch (command) {
    case TreeCommand::kNewFolder:
    case TreeCommand::kNewUrl:
    case TreeCommand::kUrlFromBrowser:
      return editable && container;
    case TreeCommand::kDelete:
      return editable && item && s != TreeSelection::kRoot;
    case TreeCommand::kDeleteData:
    case TreeCommand::kCopyData:
    case TreeCommand::kMoveData:
      return editable && item;
    case TreeCommand::kProperties:
    case TreeCommand::kMarkDefault:
    case TreeCommand::kMarkSelected:
    case TreeCommand::kMarkForbidden:
      return !c.patrolling && item;
    case TreeCommand::kShowInBrowser:
      return !c.patrolling && (s == TreeSelection::kUrlItem || s == TreeSelection::kLink);
  }
  return false;
}

DropRefusal CheckDrop(const ProjectItem& dragged, const ProjectItem* target, bool patrolling) {
  if (patrolling) return DropRefusal::kPatrolling;
  if (!target) return DropRefusal::kNoTarget;
  if (target->IsRecord()) return DropRefusal::kNotAFolder;
  if (target == &dragged) return DropRefusal::kSelf;
  if (dragged.Contains(target)) return DropRefusal::kBelowSelf;
  if (dragged.Parent() == target) return DropRefusal::kSameParent;
  return DropRefusal::kNone;
}

bool EntryBelongsTo(const ProjectItem& item, std::string_view file, std::string_view entry_file,
                    std::string_view entry_folder, std::string_view entry_url) {
  if (entry_file != file) return false;
  const std::string folder = item.FolderPath();
  if (item.IsRecord()) return entry_folder == folder && entry_url == item.URL().value_or("");
  return entry_folder == folder ||
         (entry_folder.size() > folder.size() && entry_folder.starts_with(folder) &&
          entry_folder[folder.size()] == '/');
}

}  // namespace qlm
