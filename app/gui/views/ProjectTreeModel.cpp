#include "app/gui/views/ProjectTreeModel.h"

#include <QCoreApplication>
#include <QFont>
#include <QPointer>
#include <QThreadPool>
#include <mutex>
#include <utility>

#include "app/gui/frames/ProjectContext.h"
#include "app/gui/views/NodeImages.h"
#include "app/gui/views/SjisText.h"
#include "app/gui/views/TreeCommands.h"
#include "crawl/MirrorStore.h"
#include "crawl/StoredPage.h"
#include "net/CUrl.h"
#include "platform/ApplicationLock.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "project/CSSDoc.h"
#include "project/CTimerDoc.h"
#include "project/ItemOption.h"
#include "project/ProjectItem.h"

namespace qlm {

namespace {

bool IsTreeLink(int kind) {
  return kind == kLinkAnchor || kind == kLinkArea || kind == kLinkFrame;
}

// Pages (file type none or html) unfold; pictures, cgi and other files do not.
bool IsPageUrl(const std::string& url) {
  CUrl parsed;
  if (!parsed.Parse(url)) return false;
  return parsed.FileType() == kFileTypeNone || parsed.FileType() == kFileTypeHtml;
}

bool IsFileLinkUrl(const std::string& url) {
  CUrl parsed;
  if (!parsed.Parse(url)) return false;
  const int32_t type = parsed.FileType();
  return type == kFileTypeCgi || type == kFileTypeGif || type == kFileTypeJpeg;
}

}  // namespace

ProjectTreeModel::ProjectTreeModel(CQLMDoc& doc, ProjectContext& context, QObject* parent)
    : QAbstractItemModel(parent), doc_(doc), context_(context), root_(std::make_unique<Node>()) {}

ProjectTreeModel::~ProjectTreeModel() = default;

ProjectTreeModel::PageLinks ProjectTreeModel::ReadLinks(const std::string& mirror_root,
                                                        const std::string& url,
                                                        const std::string& folder_path) {
  PageLinks result;
  MirrorStore store(mirror_root, ApplicationLock());
  std::vector<PageLink> links;
  if (!ReadStoredPageLinks(store, url, folder_path, links)) return result;
  for (PageLink& link : links) {
    const bool stored = store.FindLocalCopy(link.url, folder_path).Exists();
    if (IsTreeLink(link.kind)) {
      result.tree.push_back(std::move(link));
      result.tree_stored.push_back(stored);
    } else {
      result.other.push_back(std::move(link));
      result.other_stored.push_back(stored);
    }
  }
  return result;
}

bool ProjectTreeModel::StoredCopy(const std::string& url, const std::string& folder_path) const {
  MirrorStore store(doc_.Settings().MirrorFolder(), ApplicationLock());
  return store.FindLocalCopy(url, folder_path).Exists();
}

std::unique_ptr<ProjectTreeModel::Node> ProjectTreeModel::MakeItemNode(ProjectItem& item,
                                                                       Node* parent) {
  auto node = std::make_unique<Node>();
  node->parent = parent;
  node->item = &item;
  if (item.IsRecord()) {
    const std::string url = item.URL().value_or("");
    node->stored = !url.empty() && StoredCopy(url, item.FolderPath());
    // A URL item unfolds the links of its mirrored page, once there is one.
    if (node->stored && (url.empty() || IsPageUrl(url))) AddPlaceholder(*node);
  } else if (item.FirstChild()) {
    AddPlaceholder(*node);
  }
  item.SetViewHandle(reinterpret_cast<uintptr_t>(node.get()));
  return node;
}

void ProjectTreeModel::AddPlaceholder(Node& node) {
  auto placeholder = std::make_unique<Node>();
  placeholder->parent = &node;
  placeholder->placeholder = true;
  node.children.push_back(std::move(placeholder));
}

void ProjectTreeModel::Rebuild() {
  beginResetModel();
  ++serial_;
  reads_ = 0;
  selected_ = nullptr;
  root_ = std::make_unique<Node>();
  root_->children.push_back(MakeItemNode(doc_.Root(), root_.get()));
  endResetModel();
}

void ProjectTreeModel::RefreshAll() {
  std::vector<Node*> stack{root_.get()};
  while (!stack.empty()) {
    Node* node = stack.back();
    stack.pop_back();
    if (node->item && node->item->IsRecord()) {
      const std::string url = node->item->URL().value_or("");
      node->stored = !url.empty() && StoredCopy(url, node->item->FolderPath());
      if (node->stored && node->children.empty() && IsPageUrl(url)) {
        const QModelIndex index = IndexOf(node);
        beginInsertRows(index, 0, 0);
        AddPlaceholder(*node);
        endInsertRows();
      }
    }
    for (auto& child : node->children) stack.push_back(child.get());
  }
  // Every node's image, overlay, bold mark and text may have changed.
  stack.push_back(root_.get());
  while (!stack.empty()) {
    Node* node = stack.back();
    stack.pop_back();
    if (node->children.empty()) continue;
    const QModelIndex parent = IndexOf(node);
    emit dataChanged(index(0, 0, parent),
                     index(static_cast<int>(node->children.size()) - 1, 0, parent));
    for (auto& child : node->children) stack.push_back(child.get());
  }
}

ProjectTreeModel::Node* ProjectTreeModel::NodeAt(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex ProjectTreeModel::IndexOf(const Node* node) const {
  if (!node || node == root_.get() || !node->parent) return {};
  const auto& siblings = node->parent->children;
  for (size_t row = 0; row < siblings.size(); ++row) {
    if (siblings[row].get() == node) {
      return createIndex(static_cast<int>(row), 0, const_cast<Node*>(node));
    }
  }
  return {};
}

ProjectTreeModel::Node* ProjectTreeModel::FindItemNode(Node& from, const ProjectItem* item) const {
  std::vector<Node*> stack{&from};
  while (!stack.empty()) {
    Node* node = stack.back();
    stack.pop_back();
    if (node->item == item) return node;
    for (auto& child : node->children) {
      if (child->item) stack.push_back(child.get());
    }
  }
  return nullptr;
}

QModelIndex ProjectTreeModel::IndexOfItem(const ProjectItem* item) const {
  return IndexOf(FindItemNode(*root_, item));
}

bool ProjectTreeModel::Alive(const Node* node) const {
  std::vector<const Node*> stack{root_.get()};
  while (!stack.empty()) {
    const Node* at = stack.back();
    stack.pop_back();
    if (at == node) return true;
    for (const auto& child : at->children) stack.push_back(child.get());
  }
  return false;
}

ProjectItem* ProjectTreeModel::NearestItem(const QModelIndex& index) const {
  for (Node* node = index.isValid() ? NodeAt(index) : nullptr; node; node = node->parent) {
    if (node->item) return node->item;
  }
  return nullptr;
}

std::string ProjectTreeModel::UrlOf(const QModelIndex& index) const {
  const Node* node = index.isValid() ? NodeAt(index) : nullptr;
  if (!node || node->placeholder) return {};
  if (node->item) return node->item->IsRecord() ? node->item->URL().value_or("") : std::string();
  return node->url;
}

void ProjectTreeModel::InsertChildren(Node& node, std::vector<std::unique_ptr<Node>> children) {
  if (children.empty()) return;
  const QModelIndex parent = IndexOf(&node);
  const int first = static_cast<int>(node.children.size());
  beginInsertRows(parent, first, first + static_cast<int>(children.size()) - 1);
  for (auto& child : children) {
    child->parent = &node;
    node.children.push_back(std::move(child));
  }
  endInsertRows();
}

void ProjectTreeModel::RemoveChildren(Node& node) {
  if (node.children.empty()) return;
  beginRemoveRows(IndexOf(&node), 0, static_cast<int>(node.children.size()) - 1);
  node.children.clear();
  endRemoveRows();
}

void ProjectTreeModel::Expand(const QModelIndex& index) {
  Node* node = NodeAt(index);
  if (!node || node == root_.get()) return;
  const bool has_placeholder = node->children.size() == 1 && node->children[0]->placeholder;
  if (!has_placeholder || node->reading) return;
  if (node->item && !node->item->IsRecord()) {
    RemoveChildren(*node);
    std::vector<std::unique_ptr<Node>> children;
    for (ProjectItem* child = node->item->FirstChild(); child; child = child->Next()) {
      children.push_back(MakeItemNode(*child, node));
    }
    InsertChildren(*node, std::move(children));
    return;
  }
  StartRead(*node);
}

void ProjectTreeModel::StartRead(Node& node) {
  const ProjectItem* item = NearestItem(IndexOf(&node));
  if (!item) return;
  node.reading = true;
  ++reads_;
  const std::string url = node.item ? node.item->URL().value_or("") : node.url;
  const std::string folder = item->FolderPath();
  const std::string mirror = doc_.Settings().MirrorFolder();
  const uint64_t serial = serial_;
  Node* target = &node;
  QPointer<ProjectTreeModel> self(this);
  QThreadPool::globalInstance()->start([self, serial, target, url, folder, mirror] {
    PageLinks links = ReadLinks(mirror, url, folder);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, serial, target, links = std::move(links)]() mutable {
          if (self) self->ReadDone(serial, target, std::move(links));
        },
        Qt::QueuedConnection);
  });
}

void ProjectTreeModel::ReadDone(uint64_t serial, Node* node, PageLinks links) {
  if (serial != serial_) return;
  --reads_;
  if (!Alive(node)) return;
  node->reading = false;
  RemoveChildren(*node);
  std::vector<std::unique_ptr<Node>> children;
  for (size_t i = 0; i < links.tree.size(); ++i) {
    auto child = std::make_unique<Node>();
    child->url = std::move(links.tree[i].url);
    child->stored = links.tree_stored[i];
    child->page = IsPageUrl(child->url);
    if (child->page && child->stored) AddPlaceholder(*child);
    children.push_back(std::move(child));
  }
  InsertChildren(*node, std::move(children));
}

void ProjectTreeModel::SetSelectedNode(const Node* node) {
  const Node* before = std::exchange(selected_, node);
  for (const Node* changed : {before, node}) {
    const QModelIndex index = changed && Alive(changed) ? IndexOf(changed) : QModelIndex();
    if (index.isValid()) emit dataChanged(index, index, {Qt::DecorationRole});
  }
}

void ProjectTreeModel::Collapse(const QModelIndex& index) {
  Node* node = NodeAt(index);
  if (!node || node->item || node->placeholder || !node->page || node->children.empty()) return;
  RemoveChildren(*node);
  beginInsertRows(index, 0, 0);
  AddPlaceholder(*node);
  endInsertRows();
}

QModelIndex ProjectTreeModel::AppendItem(const QModelIndex& parent,
                                         std::unique_ptr<ProjectItem> item) {
  Node* node = NodeAt(parent);
  if (!node || !node->item || node->item->IsRecord()) return {};
  // A folder whose children are not shown yet shows them first, the new one among them.
  Expand(parent);
  ProjectItem* added = node->item->AppendChild(std::move(item));
  if (!added) return {};
  std::vector<std::unique_ptr<Node>> children;
  children.push_back(MakeItemNode(*added, node));
  InsertChildren(*node, std::move(children));
  return IndexOf(node->children.back().get());
}

void ProjectTreeModel::RemoveItemNode(const ProjectItem* item) {
  Node* node = FindItemNode(*root_, item);
  if (!node || !node->parent || node->parent == root_.get()) return;
  Node* parent = node->parent;
  const QModelIndex index = IndexOf(node);
  beginRemoveRows(IndexOf(parent), index.row(), index.row());
  parent->children.erase(parent->children.begin() + index.row());
  endRemoveRows();
}

void ProjectTreeModel::MoveItemNode(const ProjectItem* item, const ProjectItem* new_parent) {
  RemoveItemNode(item);
  Node* target = FindItemNode(*root_, new_parent);
  if (!target) return;
  const bool unfolded = !(target->children.size() == 1 && target->children[0]->placeholder) &&
                        !target->children.empty();
  if (unfolded) {
    std::vector<std::unique_ptr<Node>> children;
    children.push_back(MakeItemNode(*const_cast<ProjectItem*>(item), target));
    InsertChildren(*target, std::move(children));
  } else if (target->children.empty()) {
    beginInsertRows(IndexOf(target), 0, 0);
    AddPlaceholder(*target);
    endInsertRows();
  }
}

QModelIndex ProjectTreeModel::index(int row, int column, const QModelIndex& parent) const {
  const Node* node = NodeAt(parent);
  if (!node || column != 0 || row < 0 || row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex ProjectTreeModel::parent(const QModelIndex& child) const {
  const Node* node = child.isValid() ? NodeAt(child) : nullptr;
  if (!node || !node->parent) return {};
  return IndexOf(node->parent);
}

int ProjectTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  const Node* node = NodeAt(parent);
  return node ? static_cast<int>(node->children.size()) : 0;
}

int ProjectTreeModel::ImageOf(const Node& node, bool expanded) const {
  if (node.item) {
    if (!node.item->IsRecord()) return expanded ? NodeImages::kFolderOpen : NodeImages::kFolder;
    return NodeImages::kUrlItem + (node.stored ? 1 : 0);
  }
  const int base = IsFileLinkUrl(node.url) ? NodeImages::kFileLink : NodeImages::kPageLink;
  return base + (node.stored ? 1 : 0);
}

int ProjectTreeModel::OverlayOf(const ProjectItem& item) const {
  if (item.Effective(ItemOption::PilotType) == kPilotForbidden) return 2;
  bool timer = false;
  if (context_.timers) {
    for (const ProjectItem* at = &item; at && !timer; at = at->Parent()) {
      timer = context_.timers->Find(doc_.PathName(), at->FolderPath(), at->URL().value_or("")) !=
              nullptr;
    }
  }
  if (item.Effective(ItemOption::PilotType) == kPilotSelected) return timer ? 4 : 1;
  return timer ? 3 : 0;
}

bool ProjectTreeModel::BoldOf(const ProjectItem& item) const {
  if (!context_.slides || doc_.PathName().empty()) return false;
  std::lock_guard lock(context_.slides->Mutex());
  for (const ProjectItem* at = &item; at; at = at->Parent()) {
    if (context_.slides->Find(doc_.PathName(), at->FolderPath(), at->URL().value_or(""))) {
      return true;
    }
  }
  return false;
}

QVariant ProjectTreeModel::data(const QModelIndex& index, int role) const {
  const Node* node = index.isValid() ? NodeAt(index) : nullptr;
  if (!node) return {};
  if (node->placeholder) return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      if (node->item) {
        const ProjectItem& item = *node->item;
        if (item.IsRecord() && !item.Title()) return FromSjis(item.URL().value_or(""));
        return FromSjis(item.Title().value_or(""));
      }
      return FromSjis(node->url);
    case Qt::DecorationRole: {
      const int image = ImageOf(*node, node == selected_);
      return NodeImages::WithOverlay(image, node->item ? OverlayOf(*node->item) : 0);
    }
    case Qt::FontRole:
      if (node->item && BoldOf(*node->item)) {
        QFont font;
        font.setBold(true);
        return font;
      }
      return {};
    case Qt::ToolTipRole:
      if (node->item && node->item->IsRecord()) return FromSjis(node->item->URL().value_or(""));
      return {};
    default:
      return {};
  }
}

bool ProjectTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  Node* node = index.isValid() ? NodeAt(index) : nullptr;
  if (role != Qt::EditRole || !node || !node->item || doc_.PatrolRunning()) return false;
  ProjectItem& item = *node->item;
  const std::string text = ToSjis(value.toString());
  switch (item.GetKind()) {
    case ProjectItem::kRoot:
      return false;
    case ProjectItem::kFolder:
      if (text.empty()) return false;
      item.SetTitle(text);
      break;
    case ProjectItem::kRecord: {
      CUrl url;
      if (!url.Parse(text)) return false;
      item.SetURL(url.Text());
      item.SetTitle(std::nullopt);
      node->stored = StoredCopy(url.Text(), item.FolderPath());
      break;
    }
  }
  doc_.SetModified(true);
  emit dataChanged(index, index);
  return true;
}

Qt::ItemFlags ProjectTreeModel::flags(const QModelIndex& index) const {
  const Node* node = index.isValid() ? NodeAt(index) : nullptr;
  if (!node || node->placeholder) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (node->item && !doc_.PatrolRunning()) {
    if (node->item->GetKind() != ProjectItem::kRoot) {
      flags |= Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    }
    if (!node->item->IsRecord()) flags |= Qt::ItemIsDropEnabled;
  }
  return flags;
}

}  // namespace qlm
