#include "net/WSEventRegistry.h"

#include "platform/FatalError.h"

namespace qlm {

const char kWSFatalTitle[] = "Winsock Classes Fatal Error";
// "ソケットの登録に失敗しました。"
const char kWSRegisterFailedText[] =
    "\x83\x5c\x83\x50\x83\x62\x83\x67\x82\xcc\x93\x6f\x98\x5e\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82"
    "\xdc\x82\xb5\x82\xbd\x81\x42";
// "ソケットの開放に失敗しました。"
const char kWSReleaseFailedText[] =
    "\x83\x5c\x83\x50\x83\x62\x83\x67\x82\xcc\x8a\x4a\x95\xfa\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82"
    "\xdc\x82\xb5\x82\xbd\x81\x42";

WSEventRegistry& WSEventRegistry::Instance() {
  static WSEventRegistry* registry = new WSEventRegistry;  // outlives every socket
  return *registry;
}

void WSEventRegistry::Register(std::uint64_t handle, Kind kind, WSEventHandler* handler) {
  std::unique_lock lock(mutex_);
  if (!entries_.emplace(std::pair(handle, static_cast<int>(kind)), handler).second) {
    lock.unlock();
    FatalAppExit(kWSFatalTitle, kWSRegisterFailedText);
  }
}

void WSEventRegistry::Unregister(std::uint64_t handle, Kind kind) {
  std::unique_lock lock(mutex_);
  if (entries_.erase(std::pair(handle, static_cast<int>(kind))) == 0) {
    lock.unlock();
    FatalAppExit(kWSFatalTitle, kWSReleaseFailedText);
  }
}

WSEventHandler* WSEventRegistry::Find(std::uint64_t handle, Kind kind) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(std::pair(handle, static_cast<int>(kind)));
  return it == entries_.end() ? nullptr : it->second;
}

std::size_t WSEventRegistry::Size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace qlm
