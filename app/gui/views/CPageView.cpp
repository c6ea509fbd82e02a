#include "app/gui/views/CPageView.h"

#include <QAbstractListModel>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include "app/gui/views/NodeImages.h"
#include "app/gui/views/SjisText.h"

namespace qlm {

// The entries as a list model; the view owns the entries.
class CPageView::Model final : public QAbstractListModel {
 public:
  Model(const std::vector<Entry>& entries, QObject* parent)
      : QAbstractListModel(parent), entries_(entries) {}

  void Reset(const std::function<void()>& change) {
    beginResetModel();
    change();
    endResetModel();
  }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(entries_.size())) return {};
    const Entry& entry = entries_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return FromSjis(entry.url);
    if (role == Qt::DecorationRole) {
      return NodeImages::List()[static_cast<size_t>(NodeImages::kFileLink +
                                                    (entry.stored ? 1 : 0))];
    }
    return {};
  }

 private:
  const std::vector<Entry>& entries_;
};

CPageView::CPageView(QWidget* parent) : QListView(parent), model_(new Model(entries_, this)) {
  setModel(model_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(NodeImages::kSize, NodeImages::kSize));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setAutoFillBackground(false);
}

CPageView::~CPageView() = default;

void CPageView::ShowLinks(const std::vector<PageLink>& links, const std::vector<bool>& stored,
                          const std::string& folder_path) {
  model_->Reset([&] {
    entries_.clear();
    folder_path_ = folder_path;
    // Each link goes in at the top: the list shows them latest first.
    for (size_t i = links.size(); i-- > 0;) {
      entries_.push_back({links[i].url, i < stored.size() && stored[i]});
    }
  });
}

std::string CPageView::SelectedUrl() const {
  const QModelIndex current = currentIndex();
  if (!current.isValid() || current.row() >= static_cast<int>(entries_.size())) return {};
  return entries_[static_cast<size_t>(current.row())].url;
}

void CPageView::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
  if (at.isValid()) setCurrentIndex(at);
  QMenu menu(this);
  QAction* show = menu.addAction(QString::fromUtf8("ブラウザで表示"));
  show->setEnabled(!SelectedUrl().empty() && show_in_browser_);
  if (menu.exec(event->globalPos()) == show && show_in_browser_) {
    show_in_browser_(SelectedUrl(), folder_path_);
  }
}

void CPageView::paintEvent(QPaintEvent* event) {
  {
    // The tiles move with the content: they start at its origin, not at the window's corner.
    QPainter p(viewport());
    const QPoint origin(-horizontalScrollBar()->value() % NodeImages::ViewTile().width(), 0);
    p.drawTiledPixmap(viewport()->rect(), NodeImages::ViewTile(), -origin);
  }
  QListView::paintEvent(event);
}

}  // namespace qlm
