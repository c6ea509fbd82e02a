#pragma once

#include <QListView>
#include <functional>
#include <string>
#include <vector>

#include "crawl/PageLink.h"

class QAbstractListModel;

namespace qlm {

// The page list: the links of the page selected in the tree that the tree does not unfold
// (pictures, backgrounds, image maps, redirect targets), latest first, each with the image of a
// file link (stored or not). Its one command shows the selected entry's stored copy in the
// browser.
class CPageView final : public QListView {
 public:
  struct Entry {
    std::string url;
    bool stored = false;
  };

  explicit CPageView(QWidget* parent = nullptr);
  ~CPageView() override;

  // Update hint 2: the other links of the selected page in document order (shown reversed), and
  // the item folder path whose mirror they are looked up in. An empty list clears the view.
  void ShowLinks(const std::vector<PageLink>& links, const std::vector<bool>& stored,
                 const std::string& folder_path);
  void Clear() { ShowLinks({}, {}, {}); }

  const std::vector<Entry>& Entries() const { return entries_; }
  const std::string& FolderPath() const { return folder_path_; }
  // The selected entry's URL; empty when none is selected.
  std::string SelectedUrl() const;

  // "ブラウザで表示" of the page list; set by the frame.
  void SetShowInBrowser(std::function<void(const std::string& url, const std::string& folder)> f) {
    show_in_browser_ = std::move(f);
  }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  class Model;

  Model* model_;
  std::vector<Entry> entries_;
  std::string folder_path_;
  std::function<void(const std::string&, const std::string&)> show_in_browser_;
};

}  // namespace qlm
