#include "app/FrameDuties.h"

#include <cstdio>

#include "net/RasCodes.h"
#include "platform/ChildProcess.h"

namespace qlm {

std::optional<std::string> DialupPaneText(int state, int error) {
  switch (error) {
    case 0:
      break;
    case ERROR_PORT_DISCONNECTED:
      return "接続先から接続を切断されました";
    case ERROR_HARDWARE_FAILURE:
      return "モデムの反応がありません";
    case ERROR_LINE_BUSY:
      return "回線が使用中です";
    case ERROR_NO_DIALTONE:
      return "ダイアルトーンが検出できません";
    default:
      return "予期せぬエラーが発生しました";
  }
  switch (state) {
    case RASCS_OpenPort:
      return "ダイアル中";
    case RASCS_Authenticate:
    case RASCS_StartAuthentication:
      return "認証中";
    case RASCS_LogonNetwork:
      return "ログオン中";
    case RASCS_Connected:
      return "ダイアルアップ接続中";
    case RASCS_Disconnected:
      return "ダイアルアップ未接続";
    default:
      return std::nullopt;
  }
}

ShutdownSwitch::ShutdownSwitch()
    : run_([](const std::vector<std::string>& argv, std::string* output) {
        return ChildProcess::Run(argv, {"LC_ALL=C"}, 30000, output);
      }) {}

const std::vector<std::string>& ShutdownSwitch::Command() {
  static const std::vector<std::string> command = {"systemctl", "poweroff"};
  return command;
}

bool ShutdownSwitch::PatrolEnded(bool any_patrol_running) {
  if (!on_ || any_patrol_running) return true;
  requested_ = true;
  std::string output;
  const int code = run_(Command(), &output);
  if (code == 0) return true;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  failure_ = code < 0 ? "systemctl poweroff could not be run" : output;
  if (failure_.empty())
    failure_ = "systemctl poweroff ended with exit code " + std::to_string(code);
  return false;
}

std::string WindowPlacement::Format() const {
  char text[160];
  std::snprintf(text, sizeof text, "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i", flags, show, min_x, min_y,
                max_x, max_y, left, top, right, bottom);
  return text;
}

std::optional<WindowPlacement> WindowPlacement::Parse(const std::string& text) {
  WindowPlacement p;
  int used = 0;
  if (std::sscanf(text.c_str(), "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i%n", &p.flags, &p.show, &p.min_x,
                  &p.min_y, &p.max_x, &p.max_y, &p.left, &p.top, &p.right, &p.bottom,
                  &used) != 10) {
    return std::nullopt;
  }
  return p;
}

}  // namespace qlm
