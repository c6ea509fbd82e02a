#include "app/gui/dialogs/CQLMPropertySheet.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstring>

#include "app/gui/dialogs/CQLMPropertyPage1.h"
#include "app/gui/dialogs/CQLMPropertyPage2.h"
#include "app/gui/dialogs/CQLMPropertyPage3.h"
#include "app/gui/dialogs/CQLMPropertyPage4.h"
#include "app/gui/dialogs/CSlideShowPage.h"
#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/OptionSource.h"
#include "project/AppSettings.h"

namespace qlm {

CQLMPropertySheet::CQLMPropertySheet(AppSettings& settings, DialBackend& backend, QWidget* parent)
    : QDialog(parent), settings_(settings), source_(std::make_unique<AppOptionSource>(settings)) {
  setWindowTitle(QStringLiteral("Quillmere Property"));
  tabs_ = new QTabWidget(this);
  setMinimumWidth(800);  // all six tabs in one row
  page1_ = new CQLMPropertyPage1;
  page2_ = new CQLMPropertyPage2(backend);
  page3_ = new CQLMPropertyPage3;
  page4_ = new CQLMPropertyPage4(CQLMPropertyPage4::Kind::kDownload);
  page5_ = new CQLMPropertyPage4(CQLMPropertyPage4::Kind::kExclude);
  page6_ = new CSlideShowPage(true);
  for (QWidget* page :
       std::initializer_list<QWidget*>{page1_, page2_, page3_, page4_, page5_, page6_}) {
    tabs_->addTab(page, page->windowTitle());
  }
  page1_->Load(settings);
  page2_->Load(settings);
  page3_->Load(*source_);
  page4_->Load(*source_);
  page5_->Load(*source_);
  page6_->Load(settings);

  QDialogButtonBox* buttons = MakeOkCancel(this, "キャンセル");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
}

CQLMPropertySheet::~CQLMPropertySheet() = default;

bool CQLMPropertySheet::Apply() {
  AppSettings edited = settings_;
  page1_->Store(&edited);
  page2_->Store(&edited);
  for (ItemOption option : CQLMPropertyPage3::kOptions) {
    edited.SetStored(AppNumberOf(option), page3_->Value(option));
  }
  for (ItemString text : {ItemString::HttpUserID, ItemString::HttpPassword}) {
    edited.SetStored(AppTextOf(text), page3_->Text(text));
  }
  for (const CQLMPropertyPage4* page : {page4_, page5_}) {
    edited.SetStored(AppNumberOf(page->FlagOption()), page->Value(page->FlagOption()));
    edited.SetStored(AppNumberOf(page->NoExtOption()), page->Value(page->NoExtOption()));
    for (std::size_t i = 0; i < kExtListCount; ++i) {
      const ItemString list = ExtList(page->FirstList(), i);
      edited.SetStored(AppTextOf(list), page->Text(list));
    }
  }
  page6_->Store(&edited);
  return settings_.Accept(edited);
}

void CQLMPropertySheet::accept() {
  if (!Apply()) {
    // The values are kept for this run; the user learns that they will not survive it.
    QMessageBox::warning(this, windowTitle(),
                         Utf8("設定をファイルに書き込めません: ") +
                             QString::fromLocal8Bit(std::strerror(settings_.GetProfile().Error())));
  }
  QDialog::accept();
}

}  // namespace qlm
