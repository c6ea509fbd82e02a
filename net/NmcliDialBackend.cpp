#include "net/NmcliDialBackend.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

#include "net/RasCodes.h"
#include "platform/ChildProcess.h"
#include "platform/Folders.h"
#include "platform/Messaging.h"

namespace qlm {

namespace {

// nmcli's exit codes.
constexpr int kNmcliTimeout = 3;
constexpr int kNmcliActivationFailed = 4;
constexpr int kNmcliNotRunning = 8;
constexpr int kNmcliNoSuchProfile = 10;

const std::vector<std::string> kCLocale = {"LC_ALL=C"};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::vector<std::string> Lines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    if (end > start) lines.push_back(output.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The setting that holds a profile type's password, for the password file of a dial; empty for
// types whose secrets we do not hand over.
std::string PasswordSetting(const std::string& type) {
  if (type == "gsm" || type == "cdma" || type == "pppoe") return type + ".password";
  return {};
}

std::string UserSetting(const std::string& type) {
  if (type == "gsm" || type == "cdma" || type == "pppoe") return type + ".username";
  return {};
}

}  // namespace

NmcliDialBackend::NmcliDialBackend(std::string program, std::string secrets_folder)
    : program_(std::move(program)), secrets_folder_(std::move(secrets_folder)) {}

NmcliDialBackend::~NmcliDialBackend() {
  std::map<DialConn, std::shared_ptr<Connection>> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left.swap(connections_);
  }
  for (auto& [id, c] : left) {
    if (!c->thread.joinable()) continue;
    // A dial still under way would otherwise bring the line up after we are gone.
    c->cancel = true;
    c->thread.join();
    RunNmcli({"connection", "down", "id", c->entry}, nullptr, kDownTimeoutMs);
  }
}

int NmcliDialBackend::RunNmcli(const std::vector<std::string>& args, std::string* output,
                               int timeout_ms) const {
  std::vector<std::string> argv = {program_};
  argv.insert(argv.end(), args.begin(), args.end());
  return ChildProcess::Run(argv, kCLocale, timeout_ms, output);
}

bool NmcliDialBackend::Running() const {
  std::string output;
  return RunNmcli({"-t", "-f", "RUNNING", "general"}, &output) == 0 &&
         Lower(output).find("running") == 0;
}

std::vector<std::string> NmcliDialBackend::Entries() {
  std::string output;
  std::vector<std::string> names;
  if (RunNmcli({"-t", "-f", "NAME,TYPE", "connection", "show"}, &output) != 0) return names;
  for (const std::string& line : Lines(output)) {
    std::vector<std::string> fields = SplitTerse(line);
    if (fields.empty() || fields[0].empty()) continue;
    // The loopback profile is no way out to the network.
    if (fields.size() > 1 && fields[1] == "loopback") continue;
    names.push_back(fields[0]);
  }
  return names;
}

std::vector<std::string> NmcliDialBackend::ActiveProfiles() const {
  std::string output;
  std::vector<std::string> names;
  if (RunNmcli({"-t", "-f", "NAME,STATE", "connection", "show", "--active"}, &output) != 0) {
    return names;
  }
  for (const std::string& line : Lines(output)) {
    std::vector<std::string> fields = SplitTerse(line);
    if (fields.size() >= 2 && fields[1] == "activated") names.push_back(fields[0]);
  }
  return names;
}

DialConn NmcliDialBackend::FindConnected(const std::string& entry) {
  if (entry.empty()) return 0;
  const std::vector<std::string> active = ActiveProfiles();
  if (std::find(active.begin(), active.end(), entry) == active.end()) return 0;
  auto c = std::make_shared<Connection>();
  c->entry = entry;
  c->state = RASCS_Connected;
  std::lock_guard<std::mutex> lock(mutex_);
  const DialConn id = next_conn_++;
  connections_[id] = std::move(c);
  return id;
}

std::string NmcliDialBackend::ProfileType(const std::string& entry) const {
  return GetSetting(entry, "connection.type");
}

std::string NmcliDialBackend::GetSetting(const std::string& entry,
                                         const std::string& setting) const {
  std::string output;
  if (RunNmcli({"-s", "-g", setting, "connection", "show", "id", entry}, &output) != 0) return {};
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  // One value: only its escapes are undone, a ":" in it is part of it.
  std::string value;
  for (std::size_t i = 0; i < output.size(); ++i) {
    if (output[i] == '\\' && i + 1 < output.size()) ++i;
    value += output[i];
  }
  return value;
}

void NmcliDialBackend::GetEntryDialParams(DialParams* params) {
  if (params->entry.empty()) return;
  const std::string type = ProfileType(params->entry);
  if (UserSetting(type).empty()) return;
  const std::string user = GetSetting(params->entry, UserSetting(type));
  const std::string password = GetSetting(params->entry, PasswordSetting(type));
  if (!user.empty()) params->user = user;
  if (!password.empty()) params->password = password;
}

bool NmcliDialBackend::SetEntryDialParams(const DialParams& params, bool save_password) {
  if (params.entry.empty()) return false;
  const std::string type = ProfileType(params.entry);
  if (UserSetting(type).empty()) return false;
  // Flags 0: NetworkManager keeps the password with the profile; 4: it is not saved and asked for
  // (here: handed over) at each dial.
  const std::string password = save_password ? params.password : std::string();
  return RunNmcli({"connection", "modify", "id", params.entry, UserSetting(type), params.user,
                   PasswordSetting(type), password, PasswordSetting(type) + "-flags",
                   save_password ? "0" : "4"},
                  nullptr) == 0;
}

std::string NmcliDialBackend::WriteSecrets(const std::string& entry,
                                           const std::string& password) const {
  if (password.empty() || password.find_first_of("\r\n") != std::string::npos) return {};
  const std::string setting = PasswordSetting(ProfileType(entry));
  if (setting.empty()) return {};
  const std::string folder = secrets_folder_.empty() ? RuntimeFolder() : secrets_folder_;
  if (folder.empty()) return {};
  std::string path = folder + (folder.back() == '/' ? "" : "/") + "nmcli-secrets-XXXXXX";
  const int fd = mkostemp(path.data(), O_CLOEXEC);  // created 0600
  if (fd < 0) return {};
  const std::string line = setting + ":" + password + "\n";
  const bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(fd);
  if (!ok) {
    unlink(path.c_str());
    return {};
  }
  return path;
}

int NmcliDialBackend::Dial(const DialParams& params, Hwnd notify, unsigned message,
                           DialConn* conn) {
  if (!Running()) return ERROR_RASMAN_CANNOT_INITIALIZE;
  const std::vector<std::string> entries = Entries();
  if (params.entry.empty() ||
      std::find(entries.begin(), entries.end(), params.entry) == entries.end()) {
    return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  }
  std::string secrets = WriteSecrets(params.entry, params.password);

  auto c = std::make_shared<Connection>();
  c->entry = params.entry;
  c->dialled = true;
  std::lock_guard<std::mutex> lock(mutex_);
  const DialConn id = next_conn_++;
  connections_[id] = c;
  c->thread =
      std::thread(&NmcliDialBackend::RunDial, this, id, c, std::move(secrets), notify, message);
  *conn = id;
  return 0;
}

void NmcliDialBackend::RunDial(DialConn id, std::shared_ptr<Connection> c, std::string secrets_path,
                               Hwnd notify, unsigned message) {
  auto post = [&](int state, int error) {
    if (!c->cancel) {
      PostMessage(notify, message, static_cast<WParam>(state), error, MakePayload<DialConn>(id));
    }
  };
  post(RASCS_OpenPort, 0);

  std::vector<std::string> argv = {
      program_, "-w", std::to_string(kUpWaitSeconds), "connection", "up", "id", c->entry};
  if (!secrets_path.empty()) {
    argv.push_back("passwd-file");
    argv.push_back(secrets_path);
  }
  ChildProcess up;
  const bool started = up.Start(argv, kCLocale);

  using SteadyClock = std::chrono::steady_clock;
  const auto give_up_at = SteadyClock::now() + std::chrono::seconds(kUpWaitSeconds + 15);
  auto next_look = SteadyClock::now() + std::chrono::milliseconds(kProgressPollMs);
  int error = started ? 0 : ERROR_RASMAN_CANNOT_INITIALIZE;
  while (started && !up.Wait(100)) {
    if (c->cancel) {
      up.Kill();
      break;
    }
    if (SteadyClock::now() >= give_up_at) {
      up.Kill();
      error = ERROR_PPP_TIMEOUT;
      break;
    }
    if (SteadyClock::now() >= next_look) {
      next_look += std::chrono::milliseconds(kProgressPollMs);
      const int state = DeviceState(c->entry);
      if (state >= 0 && state != c->state) {
        c->state = state;
        post(state, 0);
      }
    }
  }
  if (!secrets_path.empty()) unlink(secrets_path.c_str());
  if (c->cancel) return;
  if (error == 0) error = up.ExitCode() == 0 ? 0 : ErrorFromOutput(up.ExitCode(), up.Output());
  c->state = error == 0 ? RASCS_Connected : RASCS_Disconnected;
  post(error == 0 ? RASCS_Connected : 0, error);
}

int NmcliDialBackend::DeviceState(const std::string& entry) const {
  std::string output;
  if (RunNmcli({"-t", "-f", "DEVICE,STATE,CONNECTION", "device"}, &output, 2000) != 0) return -1;
  for (const std::string& line : Lines(output)) {
    std::vector<std::string> fields = SplitTerse(line);
    if (fields.size() >= 3 && fields[2] == entry) return StateFromDeviceState(fields[1]);
  }
  return -1;
}

std::shared_ptr<NmcliDialBackend::Connection> NmcliDialBackend::Take(DialConn conn) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = connections_.find(conn);
  if (it == connections_.end()) return nullptr;
  std::shared_ptr<Connection> c = std::move(it->second);
  connections_.erase(it);
  c->cancel = true;
  return c;
}

void NmcliDialBackend::HangUp(DialConn conn) {
  std::shared_ptr<Connection> c = Take(conn);
  if (!c) return;
  if (c->thread.joinable()) c->thread.join();
  RunNmcli({"connection", "down", "id", c->entry}, nullptr, kDownTimeoutMs);
}

void NmcliDialBackend::Forget(DialConn conn) {
  std::shared_ptr<Connection> c = Take(conn);
  if (c && c->thread.joinable()) c->thread.join();
}

int NmcliDialBackend::ConnectStatus(DialConn conn, int* state) {
  std::shared_ptr<Connection> c;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = connections_.find(conn);
    if (it == connections_.end()) return ERROR_INVALID_HANDLE;
    c = it->second;
  }
  const int known = c->state;
  if (known != RASCS_Connected) {
    *state = known;
    return 0;
  }
  // Up as far as we know: whether it still is, NetworkManager tells.
  const std::vector<std::string> active = ActiveProfiles();
  const bool up = std::find(active.begin(), active.end(), c->entry) != active.end();
  *state = up ? RASCS_Connected : RASCS_Disconnected;
  return 0;
}

int NmcliDialBackend::ErrorFromOutput(int exit_code, std::string_view output) {
  switch (exit_code) {
    case 0:
      return 0;
    case kNmcliNotRunning:
    case 127:  // the client itself is missing
      return ERROR_RASMAN_CANNOT_INITIALIZE;
    case kNmcliNoSuchProfile:
      return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    case kNmcliTimeout:
      return ERROR_PPP_TIMEOUT;
    default:
      break;
  }
  if (exit_code != kNmcliActivationFailed && exit_code != 1) return ERROR_UNKNOWN;

  // Reasons as nmcli words them in the C locale, most specific first.
  static const std::array<std::pair<std::string_view, int>, 18> kReasons = {{
      {"line is busy", ERROR_LINE_BUSY},
      {"modem is busy", ERROR_LINE_BUSY},
      {"no dial tone", ERROR_NO_DIALTONE},
      {"no carrier", ERROR_NO_CARRIER},
      {"ppp service disconnected", ERROR_PORT_DISCONNECTED},
      {"base network connection was interrupted", ERROR_PORT_DISCONNECTED},
      {"carrier/link changed", ERROR_PORT_DISCONNECTED},
      {"modem initialization failed", ERROR_HARDWARE_FAILURE},
      {"modem could not be found", ERROR_HARDWARE_FAILURE},
      {"modem failed", ERROR_HARDWARE_FAILURE},
      {"modemmanager is unavailable", ERROR_HARDWARE_FAILURE},
      {"device was removed", ERROR_HARDWARE_FAILURE},
      {"secrets were required", ERROR_AUTHENTICATION_FAILURE},
      {"no valid secrets", ERROR_AUTHENTICATION_FAILURE},
      {"invalid secrets", ERROR_AUTHENTICATION_FAILURE},
      {"pin check failed", ERROR_AUTHENTICATION_FAILURE},
      {"dialing request timed out", ERROR_NO_ANSWER},
      {"connection attempt timed out", ERROR_NO_ANSWER},
  }};
  const std::string lower = Lower(output);
  for (const auto& [words, error] : kReasons) {
    if (lower.find(words) != std::string::npos) return error;
  }
  return ERROR_UNKNOWN;
}

int NmcliDialBackend::StateFromDeviceState(std::string_view device_state) {
  static const std::array<std::pair<std::string_view, int>, 6> kStates = {{
      {"connecting (prepare)", RASCS_ConnectDevice},
      {"connecting (configuring)", RASCS_DeviceConnected},
      {"connecting (need authentication)", RASCS_Authenticate},
      {"connecting (getting IP configuration)", RASCS_LogonNetwork},
      {"connecting (checking IP connectivity)", RASCS_Projected},
      {"connecting (starting secondary connections)", RASCS_Projected},
  }};
  for (const auto& [text, state] : kStates) {
    if (device_state == text) return state;
  }
  return -1;
}

std::vector<std::string> NmcliDialBackend::SplitTerse(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      fields.back() += line[++i];
    } else if (c == ':') {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace qlm
