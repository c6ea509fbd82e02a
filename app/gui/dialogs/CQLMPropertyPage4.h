#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

#include "project/ItemOption.h"

class QCheckBox;
class QLineEdit;

namespace qlm {

class OptionSource;

// An extension page: the filter of extensions to download ("ﾀﾞｳﾝﾛｰﾄﾞするﾌｧｲﾙの拡張子") or not to
// download ("ﾀﾞｳﾝﾛｰﾄﾞしないﾌｧｲﾙの拡張子"), as one group: the flag "フィルタ有効", seven lists and
// "拡張子のないファイルも対象にする". "フィルタ有効" enables the lists and the last box. The page's
// one "継承" box takes the whole group from the level above and disables it; unchecking it enables
// "フィルタ有効" and, with the filter on, the rest.
class CQLMPropertyPage4 final : public QWidget {
 public:
  enum class Kind { kDownload, kExclude };

  explicit CQLMPropertyPage4(Kind kind, QWidget* parent = nullptr);

  // The group's flag, its extension-less switch, and the first of its seven lists.
  ItemOption FlagOption() const;
  ItemOption NoExtOption() const;
  ItemString FirstList() const;

  // Fills the page; `source` must outlive the page.
  void Load(const OptionSource& source);
  // -1 for the flag and the switch while the box is checked; the lists are then empty.
  int32_t Value(ItemOption option) const;
  std::string Text(ItemString option) const;

 private:
  void Show(int32_t flag, int32_t no_ext, const std::array<std::string, kExtListCount>& lists);
  void ShowInherited();
  void ApplyEnable();

  Kind kind_;
  const OptionSource* source_ = nullptr;
  QCheckBox* filter_ = nullptr;  // 1039
  std::array<QLineEdit*, kExtListCount> lists_{};
  QCheckBox* no_ext_ = nullptr;   // 1117
  QCheckBox* inherit_ = nullptr;  // 1038
};

}  // namespace qlm
