#pragma once

#include <QRegion>
#include <QSize>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace qlm {

class DisplayBuffers;

// The on-screen window of a display: it paints only from ShownBuffer, so it can repaint itself
// at any time, whatever a transition is doing on the reader thread. The reader thread asks for the
// lines it has copied with RequestRepaint; the requests of several steps are gathered and served
// in one paint when the user-interface thread gets to them.
//
// The programs derive from it for their input rules.
class DisplayWidget : public QWidget {
 public:
  explicit DisplayWidget(DisplayBuffers& buffers, QWidget* parent = nullptr,
                         Qt::WindowFlags flags = Qt::WindowFlags());
  ~DisplayWidget() override;

  // Any thread: have the window repaint `rect` (client coordinates) from ShownBuffer.
  void RequestRepaint(const QRect& rect);
  // Any thread: the current client size, as last seen by the user-interface thread.
  QSize ClientSize() const;

  // Called on the user-interface thread when the window is about to close (any cause).
  void SetCloseHandler(std::function<void()> handler) { close_handler_ = std::move(handler); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FlushRepaints();

  DisplayBuffers& buffers_;
  void StoreClientSize(QSize size);

  std::atomic<uint64_t> client_size_{0};  // width in the high 32 bits, height in the low 32
  std::mutex pending_mutex_;
  QRegion pending_;            // guarded by pending_mutex_: lines copied but not yet asked for
  bool flush_queued_ = false;  // guarded by pending_mutex_: a FlushRepaints call is on its way
  std::function<void()> close_handler_;
};

}  // namespace qlm
