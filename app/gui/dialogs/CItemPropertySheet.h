#pragma once

#include <QDialog>
#include <memory>
#include <string>

class QTabWidget;

namespace qlm {

class CItemOption1;
class CQLMDoc;
class CQLMPropertyPage3;
class CQLMPropertyPage4;
class CSSDoc;
class CTimerDoc;
class ItemOptionSource;
class ProjectItem;

// The item property sheet "アイテムのプロパティ": the item page "ﾀｲﾏｰ,ｽﾗｲﾄﾞｼｮｳ他", the page "巡回"
// and the two extension pages with the item's own values (a "継承" box shows what the parents or
// the application give instead). OK updates the item, puts its timer and its slide-show entry in
// their lists (or takes them out) and saves both list files; Cancel changes nothing.
class CItemPropertySheet final : public QDialog {
 public:
  // Every reference must outlive the sheet; `item` belongs to `doc`.
  CItemPropertySheet(ProjectItem& item, CQLMDoc& doc, CTimerDoc& timers, CSSDoc& slides,
                     QWidget* parent = nullptr);
  ~CItemPropertySheet() override;

  QTabWidget& Tabs() { return *tabs_; }
  CItemOption1& ItemPage() { return *page1_; }

  // What OK does; false when a list file could not be written, or when a timer or the slide show
  // is asked for a project that has no file yet (nothing is changed then).
  bool Apply();
  bool NeedsSavedProject() const;
  void accept() override;

 private:
  void MoveEntriesBelow(const std::string& old_path, const std::string& new_path);

  ProjectItem& item_;
  CQLMDoc& doc_;
  CTimerDoc& timers_;
  CSSDoc& slides_;
  std::unique_ptr<ItemOptionSource> source_;
  QTabWidget* tabs_ = nullptr;
  CItemOption1* page1_ = nullptr;
  CQLMPropertyPage3* page2_ = nullptr;
  CQLMPropertyPage4* page3_ = nullptr;
  CQLMPropertyPage4* page4_ = nullptr;
};

// Shows the item property sheet for `item` of `doc` (the project views' "プロパティ"); true when
// the user confirmed it, the item and the lists then being updated.
bool ShowItemProperties(QWidget* parent, ProjectItem& item, CQLMDoc& doc, CTimerDoc& timers,
                        CSSDoc& slides);

}  // namespace qlm
