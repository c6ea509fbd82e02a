#include "app/gui/dialogs/CQLMPropertyPage4.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/OptionSource.h"

namespace qlm {

namespace {

// The seven lists in the order of the settings (html, text, image, audio, video, application,
// others) with their control ids and labels.
struct ListField {
  int id;
  const char* label;
};
constexpr ListField kLists[kExtListCount] = {
    {1049, "html"},  {1050, "text"},        {1048, "image"}, {1047, "audio"},
    {1046, "video"}, {1115, "application"}, {1116, "その他"}};

}  // namespace

CQLMPropertyPage4::CQLMPropertyPage4(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  setWindowTitle(
      Utf8(kind == Kind::kDownload ? "ﾀﾞｳﾝﾛｰﾄﾞするﾌｧｲﾙの拡張子" : "ﾀﾞｳﾝﾛｰﾄﾞしないﾌｧｲﾙの拡張子"));
  filter_ = MakeCheck(1039, "フィルタ有効", this);
  inherit_ = MakeCheck(1038, "継承", this);
  auto* box = new QGroupBox(Utf8("拡張子"), this);
  auto* grid = new QGridLayout(box);
  for (std::size_t i = 0; i < kExtListCount; ++i) {
    lists_[i] = MakeText(kLists[i].id, box);
    grid->addWidget(new QLabel(Utf8(kLists[i].label), box), static_cast<int>(i), 0);
    grid->addWidget(lists_[i], static_cast<int>(i), 1);
  }
  no_ext_ = MakeCheck(1117, "拡張子のないファイルも対象にする", box);
  grid->addWidget(no_ext_, static_cast<int>(kExtListCount), 0, 1, 2);
  auto* note =
      new QLabel(Utf8("複数の拡張子を指定する場合はセミコロン ; で区切って下さい。"), this);
  note->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(filter_);
  layout->addWidget(box);
  layout->addWidget(note);
  layout->addWidget(inherit_);
  layout->addStretch();

  connect(filter_, &QCheckBox::toggled, this, [this] { ApplyEnable(); });
  connect(inherit_, &QCheckBox::toggled, this, [this](bool checked) {
    if (checked) ShowInherited();
    ApplyEnable();
  });
}

ItemOption CQLMPropertyPage4::FlagOption() const {
  return kind_ == Kind::kDownload ? ItemOption::UseExtFilter : ItemOption::UseUVExtFilter;
}

ItemOption CQLMPropertyPage4::NoExtOption() const {
  return kind_ == Kind::kDownload ? ItemOption::DLNoExt : ItemOption::NotDLNoExt;
}

ItemString CQLMPropertyPage4::FirstList() const {
  return kind_ == Kind::kDownload ? kExtLists : kUVExtLists;
}

void CQLMPropertyPage4::Show(int32_t flag, int32_t no_ext,
                             const std::array<std::string, kExtListCount>& lists) {
  filter_->setChecked(flag == 1);
  no_ext_->setChecked(no_ext == 1);
  for (std::size_t i = 0; i < kExtListCount; ++i) lists_[i]->setText(Utf8(lists[i]));
}

void CQLMPropertyPage4::ShowInherited() {
  if (source_ == nullptr) return;
  std::array<std::string, kExtListCount> lists;
  for (std::size_t i = 0; i < kExtListCount; ++i) {
    lists[i] = source_->InheritedString(ExtList(FirstList(), i));
  }
  Show(source_->Inherited(FlagOption()), source_->Inherited(NoExtOption()), lists);
}

void CQLMPropertyPage4::ApplyEnable() {
  const bool own = !inherit_->isChecked();
  filter_->setEnabled(own);
  const bool lists = own && filter_->isChecked();
  for (QLineEdit* list : lists_) list->setEnabled(lists);
  no_ext_->setEnabled(lists);
}

void CQLMPropertyPage4::Load(const OptionSource& source) {
  source_ = &source;
  const int32_t flag = source.Own(FlagOption());
  {
    const QSignalBlocker block(inherit_);
    inherit_->setChecked(flag == kUnset);
  }
  if (flag == kUnset) {
    ShowInherited();
  } else {
    std::array<std::string, kExtListCount> lists;
    for (std::size_t i = 0; i < kExtListCount; ++i) {
      lists[i] = source.OwnString(ExtList(FirstList(), i));
    }
    Show(flag, source.Own(NoExtOption()), lists);
  }
  ApplyEnable();
}

int32_t CQLMPropertyPage4::Value(ItemOption option) const {
  if (inherit_->isChecked()) return kUnset;
  if (option == FlagOption()) return filter_->isChecked() ? 1 : 0;
  if (option == NoExtOption()) return no_ext_->isChecked() ? 1 : 0;
  return kUnset;
}

std::string CQLMPropertyPage4::Text(ItemString option) const {
  if (inherit_->isChecked()) return {};
  const int index = static_cast<int>(option) - static_cast<int>(FirstList());
  if (index < 0 || index >= static_cast<int>(kExtListCount)) return {};
  return ToUtf8(lists_[static_cast<std::size_t>(index)]->text());
}

}  // namespace qlm
