#include "app/gui/dialogs/CTimerListDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>

#include "app/gui/dialogs/CTimerSettingDialog.h"
#include "app/gui/dialogs/DialogKit.h"
#include "project/CTimerDoc.h"

namespace qlm {

namespace {

// A small round icon per kind: M, W, D or I on its own colour.
QIcon KindIcon(TimerKind kind) {
  struct Look {
    char letter;
    QColor color;
  };
  Look look{'?', Qt::gray};
  switch (kind) {
    case TimerKind::kMonthly:
      look = {'M', QColor(0x30, 0x70, 0xC0)};
      break;
    case TimerKind::kWeekly:
      look = {'W', QColor(0x30, 0xA0, 0x50)};
      break;
    case TimerKind::kDaily:
      look = {'D', QColor(0xD0, 0x80, 0x20)};
      break;
    case TimerKind::kInterval:
      look = {'I', QColor(0xA0, 0x40, 0xA0)};
      break;
    case TimerKind::kNone:
      break;
  }
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(look.color);
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(1, 1, 14, 14);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setPixelSize(10);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString(QChar(look.letter)));
  return QIcon(pixmap);
}

}  // namespace

CTimerListDialog::CTimerListDialog(CTimerDoc& timers, std::string install_folder, QWidget* parent)
    : QDialog(parent), timers_(timers), install_folder_(std::move(install_folder)) {
  setWindowTitle(Utf8("タイマーの一覧"));
  edit_ = [this](TimerEntry& entry) {
    CTimerSettingDialog dialog(entry, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    entry = dialog.Entry();
    return true;
  };
  // "Setting" is wider than its 80 pixels of old: the kind icon now sits in it beside the text.
  list_ = MakeEntryList(
      this, {"Setting", "Folder", "URL", "Title", "File"}, {110, 160, 280, 160, 320},
      [this] { RemoveSelected(); }, [this] { EditSelected(); });
  Fill();
}

void CTimerListDialog::Fill() {
  list_->clear();
  for (const auto& entry : timers_.Entries()) {
    auto* row = new QTreeWidgetItem(list_);
    row->setIcon(0, KindIcon(entry->kind));
    row->setText(0, Utf8(entry->SettingText()));
    row->setText(1, Utf8(entry->folder));
    row->setText(2, Utf8(entry->url));
    row->setText(3, FromSjis(entry->title));
    row->setText(4, Utf8(entry->file));
    row->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(entry.get())));
  }
  if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
}

bool CTimerListDialog::RemoveSelected() {
  QTreeWidgetItem* row = list_->currentItem();
  if (row == nullptr) return false;
  const auto* entry = static_cast<const TimerEntry*>(row->data(0, Qt::UserRole).value<void*>());
  timers_.Remove(entry);
  delete row;
  return true;
}

bool CTimerListDialog::EditSelected() {
  QTreeWidgetItem* row = list_->currentItem();
  if (row == nullptr) return false;
  auto* entry = static_cast<TimerEntry*>(row->data(0, Qt::UserRole).value<void*>());
  TimerEntry edited = *entry;
  if (!edit_(edited)) return false;
  *entry = edited;
  const int index = list_->indexOfTopLevelItem(row);
  Fill();
  list_->setCurrentItem(list_->topLevelItem(index));
  return true;
}

void CTimerListDialog::done(int result) {
  timers_.Save(install_folder_);
  if (on_closed_) on_closed_();
  QDialog::done(result);
}

}  // namespace qlm
