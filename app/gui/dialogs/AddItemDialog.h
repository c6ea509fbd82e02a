#pragma once

#include <QDialog>
#include <string>

class QButtonGroup;
class QLineEdit;

namespace qlm {

// "フォルダまたはURL の追加": one line of text, a folder's title or a URL. OK checks it (a
// folder needs a name, a URL must parse) and stays open with a message when it fails.
class AddItemDialog final : public QDialog {
 public:
  enum class Mode { kFolder, kUrl };

  AddItemDialog(Mode mode, QWidget* parent = nullptr);

  void SetText(const QString& text);
  // The text as the project stores it: a folder's title, or the URL in its normalized form.
  const std::string& Result() const { return result_; }
  // What is wrong with `text` in `mode` (the message OK shows); empty when it will do. `result`
  // receives the value to store.
  static QString Check(Mode mode, const QString& text, std::string* result);

  void accept() override;

 private:
  Mode mode_;
  QLineEdit* edit_;
  std::string result_;
};

// "ミラーファイルの処理": what happens to a dragged item's saved data when the item moves.
class MirrorFilesDialog final : public QDialog {
 public:
  enum Choice { kNothing, kCopy, kMove, kDelete };

  explicit MirrorFilesDialog(QWidget* parent = nullptr);
  Choice Chosen() const { return chosen_; }
  void Choose(Choice choice);

 private:
  Choice chosen_ = kMove;
  QButtonGroup* group_;
};

}  // namespace qlm
