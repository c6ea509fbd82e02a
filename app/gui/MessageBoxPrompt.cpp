#include "app/gui/MessageBoxPrompt.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QString>
#include <QVBoxLayout>

#include "picture/ChannelMessages.h"

namespace qlm {

namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Title() {
  return QString::fromUtf8(kMainFrameTitle);
}

}  // namespace

MessageBoxPrompt::~MessageBoxPrompt() {
  EndProgress();
}

bool MessageBoxPrompt::AskYesNo(std::string_view text) {
  return QMessageBox::question(nullptr, Title(), Text(text), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxPrompt::ShowMessage(std::string_view text) {
  QMessageBox::information(nullptr, Title(), Text(text));
}

void MessageBoxPrompt::ShowProgress(std::string_view title, std::string_view line) {
  if (!progress_) {
    progress_ = new QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint);
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_line_ = new QLabel(progress_);
    progress_line_->setMinimumWidth(320);
    auto* layout = new QVBoxLayout(progress_);
    layout->addWidget(progress_line_);
    progress_->show();
  }
  progress_->setWindowTitle(Text(title));
  progress_line_->setText(Text(line));
  // The caller is busy on this thread until it is done; let the window paint meanwhile.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MessageBoxPrompt::EndProgress() {
  if (progress_) progress_->close();
  progress_ = nullptr;
  progress_line_ = nullptr;
}

}  // namespace qlm
