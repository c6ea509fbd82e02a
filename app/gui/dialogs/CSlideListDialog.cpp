#include "app/gui/dialogs/CSlideListDialog.h"

#include <QDialogButtonBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <mutex>

#include "app/gui/dialogs/CSlideShowPage.h"
#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/SlideDisplayBox.h"
#include "platform/NamedMutex.h"
#include "project/CSSDoc.h"

namespace qlm {

CSlideListDialog::CSlideListDialog(CSSDoc& slides, std::string install_folder, QWidget* parent)
    : QDialog(parent), slides_(slides), install_folder_(std::move(install_folder)) {
  setWindowTitle(Utf8("スライドショウ一覧"));
  edit_ = [this](const SlideDisplay& display) -> std::optional<SlideDisplay> {
    QDialog dialog(this);
    dialog.setWindowTitle(Utf8("ｽﾗｲﾄﾞｼｮｳの設定"));
    auto* page = new CSlideShowPage(false, &dialog);
    page->Display().Load(display);
    QDialogButtonBox* buttons = MakeOkCancel(&dialog, "キャンセル");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(page);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return page->Display().Read();
  };
  list_ = MakeEntryList(
      this, {"Folder", "URL", "Title", "File"}, {160, 280, 160, 320}, [this] { RemoveSelected(); },
      [this] { EditSelected(); });
  Fill();
}

void CSlideListDialog::Fill() {
  list_->clear();
  std::lock_guard lock(slides_.Mutex());
  for (const auto& entry : slides_.Entries()) {
    auto* row = new QTreeWidgetItem(list_);
    row->setText(0, Utf8(entry->folder));
    row->setText(1, Utf8(entry->url));
    row->setText(2, FromSjis(entry->title));
    row->setText(3, Utf8(entry->file));
    row->setData(0, Qt::UserRole,
                 QVariant::fromValue(const_cast<void*>(static_cast<const void*>(entry.get()))));
  }
  if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
}

const SlideEntry* CSlideListDialog::Selected() const {
  QTreeWidgetItem* row = list_->currentItem();
  if (row == nullptr) return nullptr;
  return static_cast<const SlideEntry*>(row->data(0, Qt::UserRole).value<void*>());
}

bool CSlideListDialog::RemoveSelected() {
  const SlideEntry* entry = Selected();
  if (entry == nullptr) return false;
  {
    std::lock_guard lock(slides_.Mutex());
    slides_.Remove(entry);
  }
  delete list_->currentItem();
  return true;
}

bool CSlideListDialog::EditSelected() {
  const SlideEntry* entry = Selected();
  if (entry == nullptr) return false;
  SlideDisplay shown;
  {
    std::lock_guard lock(slides_.Mutex());
    shown = entry->display;
  }
  const std::optional<SlideDisplay> edited = edit_(shown);
  if (!edited) return false;
  return slides_.ChangeDisplay(entry, *edited);
}

void CSlideListDialog::done(int result) {
  {
    NamedMutex list_lock = CSSDoc::FileLock(install_folder_);
    list_lock.Lock();
    slides_.Save(install_folder_);
  }
  if (on_closed_) on_closed_();
  QDialog::done(result);
}

}  // namespace qlm
