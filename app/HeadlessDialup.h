#pragma once

#include <functional>
#include <memory>
#include <string>

#include "net/CRasMan.h"
#include "net/NmcliDialBackend.h"

namespace qlm {

class AppSettings;

// The dial-up manager of a headless program, made as the main program makes it: the hidden
// window "RASMan" on the calling thread's loop with the NetworkManager back end and the dial-up
// settings, and an owner window that hears every notice and tells its status text, as the main
// frame shows it in its status bar.
class HeadlessDialup {
 public:
  // `status` gets the status text of a notice (Shift_JIS), and whether it tells a failure.
  using StatusListener = std::function<void(const std::string& text, bool failed)>;

  HeadlessDialup();
  ~HeadlessDialup();
  HeadlessDialup(const HeadlessDialup&) = delete;
  HeadlessDialup& operator=(const HeadlessDialup&) = delete;

  // False when a window could not be made (the thread has no loop).
  bool Create(const AppSettings& settings, StatusListener status);
  CRasMan& Manager() { return *manager_; }

 private:
  class OwnerWindow;

  NmcliDialBackend backend_;
  std::unique_ptr<CRasMan> manager_;
  std::unique_ptr<OwnerWindow> owner_;
};

}  // namespace qlm
