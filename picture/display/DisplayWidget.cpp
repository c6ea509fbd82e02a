#include "picture/display/DisplayWidget.h"

#include <QCloseEvent>
#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "picture/display/DisplayBuffers.h"

namespace qlm {

DisplayWidget::DisplayWidget(DisplayBuffers& buffers, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), buffers_(buffers) {
  // Every pixel comes from ShownBuffer: no background erase that could flash between paints.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  StoreClientSize(size());
}

DisplayWidget::~DisplayWidget() = default;

void DisplayWidget::RequestRepaint(const QRect& rect) {
  std::lock_guard lock(pending_mutex_);
  pending_ += rect;
  if (flush_queued_) return;
  flush_queued_ = true;
  QMetaObject::invokeMethod(
      this, [this] { FlushRepaints(); }, Qt::QueuedConnection);
}

void DisplayWidget::FlushRepaints() {
  QRegion region;
  {
    std::lock_guard lock(pending_mutex_);
    region.swap(pending_);
    flush_queued_ = false;
  }
  update(region);
}

void DisplayWidget::StoreClientSize(QSize size) {
  const auto w = static_cast<uint32_t>(std::max(size.width(), 0));
  const auto h = static_cast<uint32_t>(std::max(size.height(), 0));
  client_size_.store(uint64_t{w} << 32 | h, std::memory_order_release);
}

QSize DisplayWidget::ClientSize() const {
  const uint64_t packed = client_size_.load(std::memory_order_acquire);
  return QSize(static_cast<int>(packed >> 32), static_cast<int>(packed & 0xFFFFFFFFu));
}

void DisplayWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  for (const QRect& rect : event->region()) {
    buffers_.PaintShown(painter, rect);
    // A window larger than the buffers (a parent bigger than the screen) shows black beyond them.
    const QRegion beyond = QRegion(rect) - QRegion(QRect(QPoint(0, 0), buffers_.Size()));
    for (const QRect& part : beyond) painter.fillRect(part, Qt::black);
  }
}

void DisplayWidget::resizeEvent(QResizeEvent* event) {
  StoreClientSize(event->size());
  QWidget::resizeEvent(event);
}

void DisplayWidget::closeEvent(QCloseEvent* event) {
  if (close_handler_) close_handler_();
  QWidget::closeEvent(event);
}

}  // namespace qlm
