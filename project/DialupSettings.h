#pragma once

#include "net/CRasMan.h"
#include "project/AppSettings.h"

namespace qlm {

// The dial-up manager's settings as the application settings hold them: "DialupEntry",
// "DialRetry" and the unscrambled "Sai". The application hands them to CRasMan::SetSettings at
// start-up and after the settings sheet's OK.
DialSettings DialupSettingsOf(const AppSettings& settings);

// Whether the patrol timers run ("TimerValid"); asked by the one-minute tick at every tick.
bool TimersSwitchedOn(const AppSettings& settings);

}  // namespace qlm
