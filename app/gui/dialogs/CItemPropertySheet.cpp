#include "app/gui/dialogs/CItemPropertySheet.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <string>

#include "app/gui/dialogs/CItemOption1.h"
#include "app/gui/dialogs/CQLMPropertyPage3.h"
#include "app/gui/dialogs/CQLMPropertyPage4.h"
#include "app/gui/dialogs/CSlideShowPage.h"
#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/OptionSource.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "project/CSSDoc.h"
#include "project/CTimerDoc.h"
#include "project/ProjectItem.h"

namespace qlm {

namespace {

// A new timer starts as a monthly one on the first at midnight, an hour long when it is turned
// into an interval timer of a day.
TimerEntry NewTimer() {
  TimerEntry entry;
  entry.kind = TimerKind::kMonthly;
  entry.start_day = 1;
  entry.end_day = 1;
  entry.interval_period = 1440;
  entry.duration = 60;
  return entry;
}

std::string ItemUrl(const ProjectItem& item) {
  return item.IsRecord() && item.URL() ? *item.URL() : std::string();
}

int32_t ForceItemRange(ItemOption option, int32_t value) {
  const AppNumber number = AppNumberOf(option);
  return number == AppNumber::kCount ? value : AppSettings::ForceRange(number, value);
}

}  // namespace

CItemPropertySheet::CItemPropertySheet(ProjectItem& item, CQLMDoc& doc, CTimerDoc& timers,
                                       CSSDoc& slides, QWidget* parent)
    : QDialog(parent),
      item_(item),
      doc_(doc),
      timers_(timers),
      slides_(slides),
      source_(std::make_unique<ItemOptionSource>(item, doc.Defaults())) {
  setWindowTitle(Utf8("アイテムのプロパティ"));
  tabs_ = new QTabWidget(this);
  page1_ = new CItemOption1;
  page2_ = new CQLMPropertyPage3;
  page3_ = new CQLMPropertyPage4(CQLMPropertyPage4::Kind::kDownload);
  page4_ = new CQLMPropertyPage4(CQLMPropertyPage4::Kind::kExclude);
  for (QWidget* page : std::initializer_list<QWidget*>{page1_, page2_, page3_, page4_}) {
    tabs_->addTab(page, page->windowTitle());
  }

  const std::string file = doc.PathName();
  const std::string folder = item.FolderPath();
  const std::string url = ItemUrl(item);
  const TimerEntry* timer = timers.Find(file, folder, url);
  SlideDisplay display = SettingsDisplay(doc.Settings());
  bool in_show = false;
  {
    std::lock_guard lock(slides.Mutex());
    if (const SlideEntry* entry = slides.Find(file, folder, url)) {
      display = entry->display;
      in_show = true;
    }
  }
  const std::string name = item.IsRecord() ? item.URL().value_or("") : item.Title().value_or("");
  page1_->Load(name, item.Own(ItemOption::PilotType), in_show, display,
               timer != nullptr ? *timer : NewTimer());
  page2_->Load(*source_);
  page3_->Load(*source_);
  page4_->Load(*source_);

  QDialogButtonBox* buttons = MakeOkCancel(this, "キャンセル");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
}

CItemPropertySheet::~CItemPropertySheet() = default;

bool CItemPropertySheet::NeedsSavedProject() const {
  TimerEntry timer;
  page1_->StoreTimer(&timer);
  return doc_.PathName().empty() && (timer.start_enabled || timer.end_enabled || page1_->InShow());
}

bool CItemPropertySheet::Apply() {
  // Both lists name the project by its file: an entry for a project without one would be
  // dropped, unseen, at the next start.
  if (NeedsSavedProject()) return false;
  const std::string file = doc_.PathName();
  const std::string old_folder = item_.FolderPath();
  const std::string old_url = ItemUrl(item_);
  std::string title;  // the timer's and the entry's titles stay with the item
  std::string slide_title;
  if (const TimerEntry* timer = timers_.Find(file, old_folder, old_url)) {
    title = timer->title;
    timers_.Remove(timer);
  }
  {
    std::lock_guard lock(slides_.Mutex());
    if (const SlideEntry* entry = slides_.Find(file, old_folder, old_url)) {
      slide_title = entry->title;
      slides_.Remove(entry);
    }
  }

  // The item.
  const std::string name = page1_->Name();
  if (item_.IsRecord()) {
    if (item_.URL().value_or("") != name) item_.SetURL(name);
  } else if (item_.Title().value_or("") != name) {
    item_.SetTitle(name);
    MoveEntriesBelow(old_folder, item_.FolderPath());
  }
  const int32_t own_mark = item_.Own(ItemOption::PilotType);
  const int32_t mark = page1_->PilotType();
  if (mark != (own_mark == kUnset ? kPilotNormal : own_mark)) item_.SetPilotType(mark);
  for (ItemOption option : CQLMPropertyPage3::kOptions) {
    item_.SetOwn(option, ForceItemRange(option, page2_->Value(option)));
  }
  for (ItemString text : {ItemString::HttpUserID, ItemString::HttpPassword}) {
    item_.SetOwnString(text, page2_->Text(text));
  }
  for (const CQLMPropertyPage4* page : {page3_, page4_}) {
    item_.SetOwn(page->FlagOption(), page->Value(page->FlagOption()));
    item_.SetOwn(page->NoExtOption(), page->Value(page->NoExtOption()));
    for (std::size_t i = 0; i < kExtListCount; ++i) {
      const ItemString list = ExtList(page->FirstList(), i);
      item_.SetOwnString(list, page->Text(list));
    }
  }
  doc_.SetModified();

  // Its timer and its slide-show entry, under the item as it is now. Both files are written
  // even when the item leaves a list, so that a removed timer does not come back at the next start.
  const std::string& install = doc_.Settings().InstallFolder();
  TimerEntry timer;
  timer.file = file;
  timer.folder = item_.FolderPath();
  timer.url = ItemUrl(item_);
  timer.title = title;
  page1_->StoreTimer(&timer);
  bool saved = timers_.SetItemTimer(timer, install);
  if (!timer.start_enabled && !timer.end_enabled) saved = timers_.Save(install);

  SlideEntry entry = SlideEntry::FromItem(item_, file, doc_.Defaults(), page1_->Display());
  entry.title = slide_title;
  NamedMutex list_lock = CSSDoc::FileLock(install);
  list_lock.Lock();
  const bool show = page1_->InShow();
  bool slides_saved = slides_.SetItemEntry(std::move(entry), show, install);
  if (!show) slides_saved = slides_.Save(install);
  return saved && slides_saved;
}

void CItemPropertySheet::MoveEntriesBelow(const std::string& old_path,
                                          const std::string& new_path) {
  // A folder's new title changes the folder path of everything below it; the timers and the
  // slide-show entries of those items follow, or they would name items that no longer exist.
  const std::string& file = doc_.PathName();
  auto moved = [&](std::string& folder) {
    if (folder == old_path) {
      folder = new_path;
    } else if (folder.size() > old_path.size() &&
               folder.compare(0, old_path.size(), old_path) == 0 &&
               folder[old_path.size()] == '/') {
      folder = new_path + folder.substr(old_path.size());
    }
  };
  for (const auto& timer : timers_.Entries()) {
    if (timer->file == file) moved(timer->folder);
  }
  std::lock_guard lock(slides_.Mutex());
  for (const auto& entry : slides_.Entries()) {
    if (entry->file == file) moved(entry->folder);
  }
}

void CItemPropertySheet::accept() {
  if (NeedsSavedProject()) {
    QMessageBox::information(
        this, windowTitle(),
        Utf8("このプロジェクトはまだ保存されていません。\nタイマーとスライドショウは"
             "プロジェクトを保存してから設定して下さい。"));
    return;  // the sheet stays open
  }
  if (!Apply()) {
    QMessageBox::warning(this, windowTitle(),
                         Utf8("タイマーまたはスライドショウの一覧をファイルに書き込めません。"));
  }
  QDialog::accept();
}

bool ShowItemProperties(QWidget* parent, ProjectItem& item, CQLMDoc& doc, CTimerDoc& timers,
                        CSSDoc& slides) {
  CItemPropertySheet sheet(item, doc, timers, slides, parent);
  return sheet.exec() == QDialog::Accepted;
}

}  // namespace qlm
