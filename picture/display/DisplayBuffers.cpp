#include "picture/display/DisplayBuffers.h"

#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace qlm {

namespace {

QSize AtLeastOnePixel(QSize size) {
  return QSize(std::max(size.width(), 1), std::max(size.height(), 1));
}

}  // namespace

DisplayBuffers::DisplayBuffers(QSize screen)
    : next_(AtLeastOnePixel(screen), QImage::Format_RGB32),
      shown_(AtLeastOnePixel(screen), QImage::Format_RGB32) {
  next_.fill(Qt::black);
  shown_.fill(Qt::black);
}

void DisplayBuffers::CopyStep(const TransitionStep& step, QSize area, QRect changed[2],
                              int* count) {
  *count = 0;
  const QRect bounds = QRect(QPoint(0, 0), area).intersected(next_.rect());
  if (bounds.isEmpty()) return;
  if (step.kind == TransitionStep::kWholeArea) {
    changed[(*count)++] = CopyRect(bounds);
    return;
  }
  const bool columns = step.kind == TransitionStep::kColumns;
  const int extent = columns ? bounds.width() : bounds.height();
  const int stride = next_.bytesPerLine() / 4;  // pixels per buffer row, the same in both
  const auto* src = reinterpret_cast<const uint32_t*>(next_.constBits());
  std::lock_guard lock(shown_mutex_);
  auto* dst = reinterpret_cast<uint32_t*>(shown_.bits());
  for (int i = 0; i < step.count; ++i) {
    const int line = step.lines[i];
    if (line < 0 || line >= extent) continue;
    if (columns) {
      for (int y = 0; y < bounds.height(); ++y) {
        dst[static_cast<size_t>(y) * stride + line] = src[static_cast<size_t>(y) * stride + line];
      }
      changed[(*count)++] = QRect(line, 0, 1, bounds.height());
    } else {
      std::memcpy(dst + static_cast<size_t>(line) * stride,
                  src + static_cast<size_t>(line) * stride, sizeof(uint32_t) * bounds.width());
      changed[(*count)++] = QRect(0, line, bounds.width(), 1);
    }
  }
}

QRect DisplayBuffers::CopyRect(const QRect& rect) {
  const QRect inside = rect.intersected(next_.rect());
  if (inside.isEmpty()) return inside;
  const int stride = next_.bytesPerLine() / 4;
  const auto* src = reinterpret_cast<const uint32_t*>(next_.constBits());
  std::lock_guard lock(shown_mutex_);
  auto* dst = reinterpret_cast<uint32_t*>(shown_.bits());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    const size_t at = static_cast<size_t>(y) * stride + inside.left();
    std::memcpy(dst + at, src + at, sizeof(uint32_t) * inside.width());
  }
  return inside;
}

void DisplayBuffers::PaintShown(QPainter& painter, const QRect& rect) const {
  const QRect inside = rect.intersected(shown_.rect());
  if (inside.isEmpty()) return;
  std::lock_guard lock(shown_mutex_);
  painter.drawImage(inside.topLeft(), shown_, inside);
}

QImage DisplayBuffers::ShownCopy() const {
  std::lock_guard lock(shown_mutex_);
  return shown_.copy();
}

}  // namespace qlm
