#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <mutex>

#include "picture/TransitionSteps.h"

class QPainter;

namespace qlm {

// The two off-screen pictures of a display window, both as large as the screen (32-bit RGB):
// NextBuffer, where the reader thread composes the next picture, and ShownBuffer, which always
// holds what the window shows, so that the window can repaint itself from it at any time.
//
// NextBuffer belongs to the thread that is drawing a picture. ShownBuffer is written by that
// thread a few lines at a time and read by the user-interface thread when it paints; both take
// the buffer's own lock, so a paint sees every line either before or after its copy.
class DisplayBuffers {
 public:
  // Both buffers black. A size with a zero or negative side counts as 1 x 1.
  explicit DisplayBuffers(QSize screen);
  DisplayBuffers(const DisplayBuffers&) = delete;
  DisplayBuffers& operator=(const DisplayBuffers&) = delete;

  QSize Size() const { return next_.size(); }

  // Drawing thread only.
  QImage& NextBuffer() { return next_; }
  // Copies the lines of one transition step, over an area of `area` from the origin, from
  // NextBuffer to ShownBuffer and gives the rectangles that changed (at most two; `count` of
  // them). Lines and the area are clipped to the buffers.
  void CopyStep(const TransitionStep& step, QSize area, QRect changed[2], int* count);
  // Copies a whole rectangle; gives the part that lies inside the buffers.
  QRect CopyRect(const QRect& rect);

  // Any thread: paints the part `rect` of ShownBuffer at the same place of `painter`'s device.
  void PaintShown(QPainter& painter, const QRect& rect) const;
  // Any thread: a copy of ShownBuffer, for checks and screenshots.
  QImage ShownCopy() const;

 private:
  QImage next_;
  QImage shown_;                    // guarded by shown_mutex_
  mutable std::mutex shown_mutex_;  // held for every read or write of shown_'s pixels
};

}  // namespace qlm
