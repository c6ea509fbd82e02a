#include "app/gui/TrayIcon.h"

#include <QMenu>
#include <QString>
#include <QSystemTrayIcon>

#include "app/gui/AppIcon.h"

namespace qlm {

TrayIcon::TrayIcon(QMenu& menu) : icon_(std::make_unique<QSystemTrayIcon>(AppIcon::Make())) {
  icon_->setToolTip(QString::fromUtf8(kTip));
  // Qt opens the context menu on the right button only, as the icon should.
  icon_->setContextMenu(&menu);
}

TrayIcon::~TrayIcon() {
  Remove();
}

bool TrayIcon::Available() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::Add() {
  icon_->show();
}

void TrayIcon::Remove() {
  icon_->hide();
}

bool TrayIcon::Shown() const {
  return icon_->isVisible();
}

}  // namespace qlm
