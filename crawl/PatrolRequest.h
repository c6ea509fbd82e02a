#pragma once

#include <functional>
#include <optional>
#include <string>

#include "net/CWSThread.h"

namespace qlm {

class CQLMDoc;
class CRasMan;
class PictureHook;

// An item named by its folder path and URL, as the project document finds it (FindItem): an
// empty URL names a Folder (its folder path then ends with its own title) or the root.
struct PatrolItemRef {
  std::string folder_path;
  std::string url;
};

// The request block of a patrol (or a saved-data operation): posted to the network worker thread
// as WM_WS_CREATE_MANAGER, it makes a download manager there (see DLManager.h). `requester` is
// the notify window: it gets the manager's handle (kMsgManagerCreated) and every status message.
//
// The document must stay open, and its tree must not change except under the application lock,
// until the notify window has received kMsgPatrolEnded: the manager reads the tree and owns the
// queue files meanwhile. The hooks must outlive the manager.
struct PatrolRequest : ManagerRequest {
  CQLMDoc* doc = nullptr;
  // Only items whose effective PilotType is Selected take part.
  bool selected_only = false;
  // Patrol only this item's subtree; the whole project when absent.
  std::optional<PatrolItemRef> item;
  // Every stored JPEG goes here; none when null.
  PictureHook* pictures = nullptr;
  // The dial-up manager, asked for the line when the application setting AutoDialup is on; no
  // dialling when null.
  CRasMan* dialer = nullptr;
  // Told (on the worker thread, under the application lock) when an item took the title of its
  // page; the slide-show list and the views follow it. The document is marked modified either way.
  std::function<void(const std::string& folder_path, const std::string& item_url,
                     const std::string& title)>
      title_changed;
  // The requester looks at its loop's queue on a timer of its own (every tenth of a second or so)
  // while the patrol runs: the status messages are posted without waking it (PostQuietMessage).
  // kMsgManagerCreated, kMsgDialResult and kMsgPatrolEnded wake it all the same.
  bool quiet_status = false;
  // Stored files are flushed to the disk before they take their local name (see MirrorStore).
  bool durable = true;
};

}  // namespace qlm
