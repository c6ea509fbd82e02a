#pragma once

#include <QAbstractItemModel>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crawl/PageLink.h"

namespace qlm {

class CQLMDoc;
class ProjectItem;
struct ProjectContext;

// The project tree as a Qt model over the document: one item node per project item (root,
// folders, URL items) and, below a URL item, link nodes that unfold the links (A, AREA, FRAME)
// of its mirrored page, and of theirs in turn. Nodes that may have children get a placeholder
// child until they are expanded; the links of a page are read off the user-interface thread
// (a mirrored page may have thousands) and put in when they come.
class ProjectTreeModel final : public QAbstractItemModel {
 public:
  struct Node {
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
    ProjectItem* item = nullptr;  // an item node; null for a link node or a placeholder
    std::string url;              // a link node's URL
    bool placeholder = false;
    bool page = false;     // a link node of a page: it may be unfolded
    bool stored = false;   // the mirror holds a copy of the URL
    bool reading = false;  // the page's links are being read
  };
  // A page's links as read: those of the tree (A, AREA, FRAME) and the others (for the page
  // list), each with whether the mirror holds its copy.
  struct PageLinks {
    std::vector<PageLink> tree;
    std::vector<bool> tree_stored;
    std::vector<PageLink> other;
    std::vector<bool> other_stored;
  };

  ProjectTreeModel(CQLMDoc& doc, ProjectContext& context, QObject* parent = nullptr);
  ~ProjectTreeModel() override;

  // Builds the tree anew from the document (the initial update).
  void Rebuild();
  // Images, overlays, bold marks and texts anew (update hint 1); URL items that now have a
  // mirrored page get their placeholder.
  void RefreshAll();

  Node* NodeAt(const QModelIndex& index) const;
  QModelIndex IndexOf(const Node* node) const;
  QModelIndex IndexOfItem(const ProjectItem* item) const;
  // The item of the nearest item node at or above `index`; null for none.
  ProjectItem* NearestItem(const QModelIndex& index) const;
  // The URL a node stands for: a URL item's, a link node's; empty otherwise.
  std::string UrlOf(const QModelIndex& index) const;

  // The expand notification: the placeholder goes and the children come (a page's, once read).
  void Expand(const QModelIndex& index);
  // A link node collapsed: its children go and a placeholder comes back, so that its page is
  // read again at the next expansion.
  void Collapse(const QModelIndex& index);
  // The selected node: a selected folder shows its open image.
  void SetSelectedNode(const Node* node);
  // Whether the links of some page are still being read (tests wait for this).
  bool Reading() const { return reads_ > 0; }

  // Edits of the project through the tree.
  QModelIndex AppendItem(const QModelIndex& parent, std::unique_ptr<ProjectItem> item);
  // Removes an item's node (the item is freed by the caller, after).
  void RemoveItemNode(const ProjectItem* item);
  // Moves an item node under a folder node (the project has moved the item already).
  void MoveItemNode(const ProjectItem* item, const ProjectItem* new_parent);

  // Reads a page's links (on any thread): the stored copy of `url` below the item folder path.
  static PageLinks ReadLinks(const std::string& mirror_root, const std::string& url,
                             const std::string& folder_path);

  // QAbstractItemModel
  QModelIndex index(int row, int column, const QModelIndex& parent) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent) const override;
  int columnCount(const QModelIndex&) const override { return 1; }
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The image index and the overlay of a node (see NodeImages), and whether it is bold.
  int ImageOf(const Node& node, bool expanded) const;
  int OverlayOf(const ProjectItem& item) const;
  bool BoldOf(const ProjectItem& item) const;

 private:
  std::unique_ptr<Node> MakeItemNode(ProjectItem& item, Node* parent);
  void AddPlaceholder(Node& node);
  void InsertChildren(Node& node, std::vector<std::unique_ptr<Node>> children);
  void RemoveChildren(Node& node);
  void StartRead(Node& node);
  void ReadDone(uint64_t serial, Node* node, PageLinks links);
  bool StoredCopy(const std::string& url, const std::string& folder_path) const;
  Node* FindItemNode(Node& from, const ProjectItem* item) const;
  // Whether a node is still part of the tree (a read may end after its node went).
  bool Alive(const Node* node) const;

  CQLMDoc& doc_;
  ProjectContext& context_;
  std::unique_ptr<Node> root_;  // the invisible top: its one child is the project's root
  const Node* selected_ = nullptr;
  uint64_t serial_ = 0;  // bumped at every rebuild, so that late reads are dropped
  int reads_ = 0;
};

}  // namespace qlm
