#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "project/ItemOption.h"

class QCheckBox;
class QLineEdit;

namespace qlm {

class OptionSource;

// The page "巡回": the patrol options of one level (the application defaults in the settings
// sheet, an item's own values in the item sheet), each with a "継承" box.
//
// Inherit rule: a value the level does not set (-1) shows with its box checked, its control
// disabled and showing the value that applies instead. Checking a box again recomputes that value
// the same way and disables the control; unchecking enables it and keeps the shown value as the
// starting point. A checked box reads back as -1. The server password is one group: its box covers
// "パスワードを使用する", the user name and the password together; user name and password are
// enabled only while "パスワードを使用する" is on.
class CQLMPropertyPage3 final : public QWidget {
 public:
  // The options of the page, in the order the settings keep them.
  static constexpr std::array<ItemOption, 14> kOptions = {
      ItemOption::GraphMax,          ItemOption::PilotArea,       ItemOption::RenewalType,
      ItemOption::ConnectionTimeout, ItemOption::ReplyRcvTimeout, ItemOption::CtlRcvTimeout,
      ItemOption::DataRcvTimeout,    ItemOption::CloseTimeout,    ItemOption::DLTotalTimeout,
      ItemOption::NoCache,           ItemOption::DLoadRetry,      ItemOption::AccessInterval,
      ItemOption::LocalizeLink,      ItemOption::UseHttpPassword};

  explicit CQLMPropertyPage3(QWidget* parent = nullptr);

  // Fills the page; `source` must outlive the page (a checked box asks it again).
  void Load(const OptionSource& source);

  // What the page holds now: -1 for a value whose box is checked. The user name and password are
  // empty while their group's box is checked.
  int32_t Value(ItemOption option) const;
  std::string Text(ItemString option) const;

 private:
  struct Row {
    ItemOption option;
    QCheckBox* inherit;
    std::vector<QWidget*> controls;
    std::function<void(int32_t)> show;
    std::function<int32_t()> read;
  };
  void AddRow(ItemOption option, QCheckBox* inherit, std::vector<QWidget*> controls,
              std::function<void(int32_t)> show, std::function<int32_t()> read);
  const Row* Find(ItemOption option) const;
  void ShowInherited(Row& row);
  void ApplyEnable(Row& row);

  const OptionSource* source_ = nullptr;
  std::vector<Row> rows_;
  QCheckBox* use_password_ = nullptr;  // 1149
  QLineEdit* user_ = nullptr;          // 1042
  QLineEdit* password_ = nullptr;      // 1150
};

}  // namespace qlm
