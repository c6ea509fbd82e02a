#include "app/gui/dialogs/CQLMPropertyPage3.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/OptionSource.h"

namespace qlm {

namespace {

// A radio group whose buttons stand for the values `first`, `first` + 1, ...
struct Radios {
  std::vector<QRadioButton*> buttons;
  int32_t first = 0;

  void Show(int32_t value) const {
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      buttons[i]->setChecked(value == first + static_cast<int32_t>(i));
    }
  }
  int32_t Read() const {
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      if (buttons[i]->isChecked()) return first + static_cast<int32_t>(i);
    }
    return first;
  }
};

}  // namespace

CQLMPropertyPage3::CQLMPropertyPage3(QWidget* parent) : QWidget(parent) {
  setWindowTitle(Utf8("巡回"));
  auto* layout = new QGridLayout(this);

  // Link depth.
  auto* depth_box = new QGroupBox(Utf8("リンクの深さ"), this);
  auto* depth_row = new QHBoxLayout(depth_box);
  QSpinBox* depth = MakeNumber(1035, depth_box);
  QCheckBox* depth_inherit = MakeCheck(1076, "継承", depth_box);
  depth_row->addWidget(depth);
  depth_row->addWidget(depth_inherit);
  depth_row->addStretch();
  layout->addWidget(depth_box, 0, 0);

  auto add_radios = [this](const char* title, ItemOption option, int inherit_id,
                           std::vector<std::pair<int, const char*>> buttons, int32_t first) {
    auto* box = new QGroupBox(Utf8(title), this);
    auto* column = new QVBoxLayout(box);
    Radios radios;
    radios.first = first;
    auto* group = new QButtonGroup(box);
    std::vector<QWidget*> controls;
    for (const auto& [id, text] : buttons) {
      QRadioButton* radio = MakeRadio(id, text, box);
      group->addButton(radio);
      column->addWidget(radio);
      radios.buttons.push_back(radio);
      controls.push_back(radio);
    }
    QCheckBox* inherit = MakeCheck(inherit_id, "継承", box);
    column->addWidget(inherit);
    AddRow(
        option, inherit, controls, [radios](int32_t v) { radios.Show(v); },
        [radios] { return radios.Read(); });
    return box;
  };
  layout->addWidget(add_radios("巡回範囲", ItemOption::PilotArea, 1077,
                               {{1071, "同サイト下位ディレクトリのみ"},
                                {1072, "上位ディレクトリも巡回する"},
                                {1073, "他サイトも巡回する"}},
                               0),
                    1, 0);
  layout->addWidget(add_radios("読込み", ItemOption::RenewalType, 1078,
                               {{1036, "全てのファイルを読込む"},
                                {1037, "更新されたファイルを読込む"},
                                {1040, "ダウンロードに失敗したファイルを読込む"}},
                               1),
                    2, 0);
  layout->addWidget(
      add_radios("リンク", ItemOption::LocalizeLink, 1140,
                 {{1141, "オンラインへのリンクにする"}, {1142, "ローカルに書き換える"}}, 0),
      3, 0);
  // The depth row goes first among the rows, as in kOptions; its box was made above.
  AddRow(
      ItemOption::GraphMax, depth_inherit, {depth}, [depth](int32_t v) { depth->setValue(v); },
      [depth] { return depth->value(); });
  rows_.back().inherit = depth_inherit;

  // Timeouts, seconds.
  auto* timeouts = new QGroupBox(Utf8("タイムアウト（秒）"), this);
  auto* timeout_grid = new QGridLayout(timeouts);
  // A number with its label and its "継承" box, a line of a group's grid.
  struct Number {
    ItemOption option;
    int id;
    int inherit_id;
    const char* label;
  };
  const auto add_number = [this](const Number& n, QGroupBox* group, QGridLayout* grid, int line) {
    QSpinBox* field = MakeNumber(n.id, group);
    QCheckBox* inherit = MakeCheck(n.inherit_id, "継承", group);
    grid->addWidget(new QLabel(Utf8(n.label), group), line, 0);
    grid->addWidget(field, line, 1);
    grid->addWidget(inherit, line, 2);
    AddRow(
        n.option, inherit, {field}, [field](int32_t v) { field->setValue(v); },
        [field] { return field->value(); });
  };
  const Number kTimeouts[] = {{ItemOption::ConnectionTimeout, 1067, 1079, "Connection"},
                              {ItemOption::ReplyRcvTimeout, 1075, 1084, "Reply Recieve"},
                              {ItemOption::CtlRcvTimeout, 1068, 1080, "Header"},
                              {ItemOption::DataRcvTimeout, 1069, 1081, "Data Recieve"},
                              {ItemOption::CloseTimeout, 1070, 1082, "Close"},
                              {ItemOption::DLTotalTimeout, 1066, 1083, "Total"}};
  int line = 0;
  for (const Number& t : kTimeouts) add_number(t, timeouts, timeout_grid, line++);
  layout->addWidget(timeouts, 0, 1, 2, 1);

  // Other values.
  auto* other = new QGroupBox(Utf8("その他"), this);
  auto* other_grid = new QGridLayout(other);
  QCheckBox* no_cache = MakeCheck(1038, "常にオリジナルのデータを読込む", other);
  QCheckBox* no_cache_inherit = MakeCheck(1039, "継承", other);
  other_grid->addWidget(no_cache, 0, 0, 1, 2);
  other_grid->addWidget(no_cache_inherit, 0, 2);
  AddRow(
      ItemOption::NoCache, no_cache_inherit, {no_cache},
      [no_cache](int32_t v) { no_cache->setChecked(v != 0); },
      [no_cache] { return no_cache->isChecked() ? 1 : 0; });
  rows_.back().inherit = no_cache_inherit;
  const Number kNumbers[] = {
      {ItemOption::DLoadRetry, 1101, 1100, "リトライ回数"},
      {ItemOption::AccessInterval, 1041, 1148, "アクセスのインターバル(秒)"}};
  line = 1;
  for (const Number& n : kNumbers) add_number(n, other, other_grid, line++);
  layout->addWidget(other, 2, 1);

  // The server password group.
  auto* server = new QGroupBox(Utf8("サーバのパスワード"), this);
  auto* server_grid = new QGridLayout(server);
  use_password_ = MakeCheck(1149, "パスワードを使用する", server);
  user_ = MakeText(1042, server);
  password_ = MakePassword(1150, server);
  QCheckBox* password_inherit = MakeCheck(1143, "継承", server);
  server_grid->addWidget(use_password_, 0, 0, 1, 2);
  server_grid->addWidget(password_inherit, 0, 2);
  server_grid->addWidget(new QLabel(Utf8("ユーザ名"), server), 1, 0);
  server_grid->addWidget(user_, 1, 1, 1, 2);
  server_grid->addWidget(new QLabel(Utf8("パスワード"), server), 2, 0);
  server_grid->addWidget(password_, 2, 1, 1, 2);
  AddRow(
      ItemOption::UseHttpPassword, password_inherit, {use_password_, user_, password_},
      [this](int32_t v) { use_password_->setChecked(v == 1); },
      [this] { return use_password_->isChecked() ? 1 : 0; });
  rows_.back().inherit = password_inherit;
  layout->addWidget(server, 3, 1);
  connect(use_password_, &QCheckBox::toggled, this, [this] {
    for (Row& row : rows_) {
      if (row.option == ItemOption::UseHttpPassword) ApplyEnable(row);
    }
  });

  for (Row& row : rows_) {
    connect(row.inherit, &QCheckBox::toggled, this, [this, option = row.option](bool checked) {
      for (Row& r : rows_) {
        if (r.option != option) continue;
        if (checked) ShowInherited(r);
        ApplyEnable(r);
      }
    });
  }
}

void CQLMPropertyPage3::AddRow(ItemOption option, QCheckBox* inherit,
                               std::vector<QWidget*> controls, std::function<void(int32_t)> show,
                               std::function<int32_t()> read) {
  rows_.push_back(Row{option, inherit, std::move(controls), std::move(show), std::move(read)});
}

const CQLMPropertyPage3::Row* CQLMPropertyPage3::Find(ItemOption option) const {
  for (const Row& row : rows_) {
    if (row.option == option) return &row;
  }
  return nullptr;
}

void CQLMPropertyPage3::ShowInherited(Row& row) {
  if (source_ == nullptr) return;
  row.show(source_->Inherited(row.option));
  if (row.option == ItemOption::UseHttpPassword) {
    user_->setText(Utf8(source_->InheritedString(ItemString::HttpUserID)));
    password_->setText(Utf8(source_->InheritedString(ItemString::HttpPassword)));
  }
}

void CQLMPropertyPage3::ApplyEnable(Row& row) {
  const bool own = !row.inherit->isChecked();
  for (QWidget* control : row.controls) control->setEnabled(own);
  if (row.option == ItemOption::UseHttpPassword) {
    user_->setEnabled(own && use_password_->isChecked());
    password_->setEnabled(own && use_password_->isChecked());
  }
}

void CQLMPropertyPage3::Load(const OptionSource& source) {
  source_ = &source;
  for (Row& row : rows_) {
    const int32_t own = source.Own(row.option);
    const QSignalBlocker block(row.inherit);
    row.inherit->setChecked(own == kUnset);
    if (own == kUnset) {
      ShowInherited(row);
    } else {
      row.show(own);
      if (row.option == ItemOption::UseHttpPassword) {
        user_->setText(Utf8(source.OwnString(ItemString::HttpUserID)));
        password_->setText(Utf8(source.OwnString(ItemString::HttpPassword)));
      }
    }
    ApplyEnable(row);
  }
}

int32_t CQLMPropertyPage3::Value(ItemOption option) const {
  const Row* row = Find(option);
  if (row == nullptr || row->inherit->isChecked()) return kUnset;
  return row->read();
}

std::string CQLMPropertyPage3::Text(ItemString option) const {
  const Row* row = Find(ItemOption::UseHttpPassword);
  if (row->inherit->isChecked()) return {};
  if (option == ItemString::HttpUserID) return ToUtf8(user_->text());
  if (option == ItemString::HttpPassword) return ToUtf8(password_->text());
  return {};
}

}  // namespace qlm
