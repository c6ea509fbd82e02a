#pragma once

#include <QPixmap>
#include <vector>

namespace qlm {

// The 16-pixel images of the project views and the tiles behind them, drawn here rather than
// loaded, in the order the views index them:
//   0 overlay "selected", 1 overlay "forbidden", 2 overlay "timer", 3 overlay "selected + timer",
//   4 folder, 5 open folder, 6 URL item, 7 URL item stored, 8 file link, 9 file link stored,
//   10 page link, 11 page link stored.
// An overlay n of a node is image n - 1, drawn over the node's image.
class NodeImages {
 public:
  enum : int {
    kOverlaySelected = 0,
    kOverlayForbidden = 1,
    kOverlayTimer = 2,
    kOverlaySelectedTimer = 3,
    kFolder = 4,
    kFolderOpen = 5,
    kUrlItem = 6,
    kFileLink = 8,
    kPageLink = 10,
    kCount = 12,
  };
  static constexpr int kSize = 16;

  // The list, made once per program.
  static const std::vector<QPixmap>& List();
  // Image `image` with overlay `overlay` (1..4; 0 none) drawn over it.
  static QPixmap WithOverlay(int image, int overlay);
  // The tile behind the tree and the page list: pale paper with a faint weave.
  static const QPixmap& ViewTile();
  // The tile behind the download status view: a cooler, denser weave.
  static const QPixmap& StatusTile();
};

}  // namespace qlm
