#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/DialBackend.h"

namespace qlm {

// The connection back end of NetworkManager, driven through its command-line client `nmcli`: the
// connection profiles are the entries, an active profile is adopted, a dial brings a profile up
// and a hang-up takes it down. While a profile comes up, the state of its device is looked at
// twice a second and posted as the nearest connection state: preparing as connecting the device,
// configuring as device connected, "need authentication" as authenticating, getting the IP
// configuration as network logon, the last checks as projected; success posts RASCS_Connected.
// A failure posts the error number nearest to nmcli's reason (ErrorFromOutput).
//
// Without nmcli, or with NetworkManager not running, there are no entries and a dial fails at
// once with ERROR_RASMAN_CANNOT_INITIALIZE.
//
// Each dial runs on a thread of its own, so no caller waits for the line; the short queries
// (entries, active profiles) run in the caller and are bounded by kQueryTimeoutMs.
class NmcliDialBackend final : public DialBackend {
 public:
  static constexpr int kQueryTimeoutMs = 5000;
  static constexpr int kUpWaitSeconds = 90;     // nmcli's own limit for bringing a profile up
  static constexpr int kDownTimeoutMs = 15000;  // for taking one down
  static constexpr int kProgressPollMs = 500;

  // `program` is the nmcli to run (a path, or a name looked up in PATH); `secrets_folder` is where
  // a password for nmcli is written for the moment of the dial (mode 0600), by default the runtime
  // folder.
  explicit NmcliDialBackend(std::string program = "nmcli", std::string secrets_folder = "");
  ~NmcliDialBackend() override;

  std::vector<std::string> Entries() override;
  DialConn FindConnected(const std::string& entry) override;
  void GetEntryDialParams(DialParams* params) override;
  bool SetEntryDialParams(const DialParams& params, bool save_password) override;
  int Dial(const DialParams& params, Hwnd notify, unsigned message, DialConn* conn) override;
  void HangUp(DialConn conn) override;
  void Forget(DialConn conn) override;
  int ConnectStatus(DialConn conn, int* state) override;

  // The error number for a failed `nmcli connection up`: from its exit code, and for a failed
  // activation from the reason it printed (in the C locale).
  static int ErrorFromOutput(int exit_code, std::string_view output);
  // The connection state for a device state as `nmcli device` prints it; -1 for none.
  static int StateFromDeviceState(std::string_view device_state);
  // The fields of a line of nmcli's terse output (":" separates, "\" escapes ":" and "\").
  static std::vector<std::string> SplitTerse(std::string_view line);

 private:
  struct Connection {
    std::string entry;
    bool dialled = false;  // brought up by us (else adopted)
    std::atomic<bool> cancel{false};
    std::atomic<int> state{0};  // the last state posted or seen
    std::thread thread;         // the dial; joined by HangUp or the destructor
  };

  // Runs nmcli with `args` in the C locale; its exit code (-1 when it could not run in time).
  int RunNmcli(const std::vector<std::string>& args, std::string* output,
               int timeout_ms = kQueryTimeoutMs) const;
  bool Running() const;
  // "activated" profiles, by name.
  std::vector<std::string> ActiveProfiles() const;
  std::string ProfileType(const std::string& entry) const;
  std::string GetSetting(const std::string& entry, const std::string& setting) const;
  // The device state of the profile's device while it is coming up; -1 when it shows none.
  int DeviceState(const std::string& entry) const;
  // Writes the password for `entry` to a file nmcli reads; empty path when there is none to give.
  std::string WriteSecrets(const std::string& entry, const std::string& password) const;

  // Takes a connection out of the table and tells its dial to stop; nullptr when it is unknown.
  std::shared_ptr<Connection> Take(DialConn conn);
  void RunDial(DialConn id, std::shared_ptr<Connection> c, std::string secrets_path, Hwnd notify,
               unsigned message);

  const std::string program_;
  const std::string secrets_folder_;
  std::mutex mutex_;  // guards connections_ and next_conn_
  std::map<DialConn, std::shared_ptr<Connection>> connections_;
  DialConn next_conn_ = 1;
};

}  // namespace qlm
