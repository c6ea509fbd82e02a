#include "project/DialupSettings.h"

namespace qlm {

DialSettings DialupSettingsOf(const AppSettings& settings) {
  DialSettings dial;
  dial.entry = settings.Text(AppText::DialupEntry);
  dial.retry = settings.Number(AppNumber::DialRetry);
  dial.password = settings.Text(AppText::Sai);
  return dial;
}

bool TimersSwitchedOn(const AppSettings& settings) {
  return settings.Number(AppNumber::TimerValid) != 0;
}

}  // namespace qlm
