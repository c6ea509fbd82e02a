#include "tests/support/ScriptedResolver.h"

#include <arpa/inet.h>

#include <chrono>
#include <thread>

#include "platform/HostLookup.h"
#include "platform/WinSockErrors.h"

namespace qlm::test {

void ScriptedResolver::Add(const std::string& name, const std::vector<std::string>& addresses) {
  Answer answer;
  for (const auto& dotted : addresses) answer.addresses.push_back(inet_addr(dotted.c_str()));
  std::lock_guard lock(mutex_);
  answers_[name] = answer;
}

void ScriptedResolver::AddFailure(const std::string& name, int error) {
  std::lock_guard lock(mutex_);
  answers_[name] = Answer{error, {}};
}

void ScriptedResolver::Hold() {
  std::lock_guard lock(mutex_);
  held_ = true;
}

void ScriptedResolver::Release() {
  std::lock_guard lock(mutex_);
  held_ = false;
  released_.notify_all();
}

int ScriptedResolver::Calls(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = calls_.find(name);
  return it == calls_.end() ? 0 : it->second;
}

int ScriptedResolver::Resolve(const std::string& name, std::vector<std::uint32_t>* addresses) {
  std::unique_lock lock(mutex_);
  ++calls_[name];
  released_.wait(lock, [this] { return !held_; });
  auto it = answers_.find(name);
  if (it == answers_.end()) return WSAHOST_NOT_FOUND;
  *addresses = it->second.addresses;
  return it->second.error;
}

bool WaitForLookupThreads() {
  for (int i = 0; i < 5000 && WsLookupThreadsRunning() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return WsLookupThreadsRunning() == 0;
}

ResolverScope::ResolverScope() : resolver_(std::make_shared<ScriptedResolver>()) {
  WsSetHostResolver(resolver_);
}

ResolverScope::~ResolverScope() {
  resolver_->Release();
  WaitForLookupThreads();
  WsSetHostResolver(nullptr);
}

ConnectFaultScope::ConnectFaultScope() : state_(std::make_shared<State>()) {
  WsSetConnectFault([state = state_](const sockaddr_in& address) {
    std::lock_guard lock(state->mutex);
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted);
    state->attempts.push_back(dotted);
    auto it = state->faults.find(address.sin_addr.s_addr);
    return it == state->faults.end() ? 0 : it->second;
  });
}

ConnectFaultScope::~ConnectFaultScope() {
  WsSetConnectFault(nullptr);
}

void ConnectFaultScope::Fail(const std::string& dotted_address, int error) {
  std::lock_guard lock(state_->mutex);
  state_->faults[inet_addr(dotted_address.c_str())] = error;
}

std::vector<std::string> ConnectFaultScope::Attempts() const {
  std::lock_guard lock(state_->mutex);
  return state_->attempts;
}

}  // namespace qlm::test
