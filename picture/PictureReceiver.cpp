#include "picture/PictureReceiver.h"

#include "platform/Messaging.h"

namespace qlm {

PictureReceiver::PictureReceiver(ShowFunction show, std::string block_name)
    : show_(std::move(show)), block_name_(std::move(block_name)) {}

PictureReceiver::~PictureReceiver() {
  Abort();
  WaitForReaders();
}

bool PictureReceiver::OnMessage(Hwnd own, const Message& msg) {
  if (msg.message != MSG_PICTURE_READY || msg.wparam != kPictureReadyWParam) return false;
  ReapFinished();
  const Hwnd main_window = static_cast<Hwnd>(msg.lparam);
  main_window_ = main_window;
  // The main program never sends a second picture before the answer to the first; if one comes,
  // it gets a reader of its own, as the first one keeps drawing.
  auto reader = std::make_unique<Reader>();
  Reader* started = reader.get();
  readers_.push_back(std::move(reader));
  started->thread =
      std::thread([this, started, own, main_window] { Read(started, own, main_window); });
  return true;
}

void PictureReceiver::Read(Reader* reader, Hwnd own, Hwnd main_window) {
  {
    ReceivedPicture picture;
    if (picture.Open(block_name_) && show_) show_(picture, reader->abort);
  }  // the block is released before the answer, so the main program may replace it at once
  PostMessage(main_window, WM_PICTURE_SHOWN, 0, static_cast<LParam>(own));
  reader->done = true;
}

void PictureReceiver::Abort() {
  for (const auto& reader : readers_) reader->abort = true;
}

void PictureReceiver::WaitForReaders() {
  for (const auto& reader : readers_) {
    if (reader->thread.joinable()) reader->thread.join();
  }
  readers_.clear();
}

bool PictureReceiver::Busy() {
  ReapFinished();
  return !readers_.empty();
}

void PictureReceiver::ReapFinished() {
  for (auto it = readers_.begin(); it != readers_.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = readers_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace qlm
