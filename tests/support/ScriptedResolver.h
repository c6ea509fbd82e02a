#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/AsyncSocket.h"
#include "platform/HostResolver.h"

namespace qlm::test {

// A resolver that answers from a table instead of the system's, so that a name can resolve to
// several addresses (or fail in a chosen way) without /etc/hosts or a name server. Unknown names
// are not found. Lookups can be held, to catch a lookup while it is still under way.
class ScriptedResolver final : public HostResolver {
 public:
  // `addresses` in dotted form, in the order they are to be tried.
  void Add(const std::string& name, const std::vector<std::string>& addresses);
  // The name resolves with this WinSock error (0 with no addresses at all is allowed too).
  void AddFailure(const std::string& name, int error);
  // Lookups wait inside Resolve until Release.
  void Hold();
  void Release();
  // Lookups of `name` so far (held ones included).
  int Calls(const std::string& name) const;

  int Resolve(const std::string& name, std::vector<std::uint32_t>* addresses) override;

 private:
  struct Answer {
    int error = 0;
    std::vector<std::uint32_t> addresses;
  };
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
  std::map<std::string, Answer> answers_;
  std::map<std::string, int> calls_;
};

// Installs a ScriptedResolver for its lifetime; afterwards it waits for the lookup threads to end
// (releasing held ones) and puts the system's resolver back.
class ResolverScope {
 public:
  ResolverScope();
  ~ResolverScope();
  ResolverScope(const ResolverScope&) = delete;
  ResolverScope& operator=(const ResolverScope&) = delete;
  ScriptedResolver& operator*() { return *resolver_; }
  ScriptedResolver* operator->() { return resolver_.get(); }

 private:
  std::shared_ptr<ScriptedResolver> resolver_;
};

// Makes connects to chosen addresses fail with a chosen WinSock error, as an unreachable or silent
// network would (no traffic leaves the machine), for its lifetime; counts every connect it sees.
class ConnectFaultScope {
 public:
  ConnectFaultScope();
  ~ConnectFaultScope();
  ConnectFaultScope(const ConnectFaultScope&) = delete;
  ConnectFaultScope& operator=(const ConnectFaultScope&) = delete;

  void Fail(const std::string& dotted_address, int error);
  // The addresses connected to so far, dotted, in order.
  std::vector<std::string> Attempts() const;

 private:
  struct State {
    std::mutex mutex;
    std::map<std::uint32_t, int> faults;
    std::vector<std::string> attempts;
  };
  std::shared_ptr<State> state_;
};

// Waits (a few seconds at most) until no lookup thread runs; false when some still do.
bool WaitForLookupThreads();

}  // namespace qlm::test
