#pragma once

#include <string>

namespace qlm::test {

// A stand-in for NetworkManager's nmcli (which cannot run here) for the NetworkManager dial-up back
// end: it answers the few commands the back end uses from files in its own folder and logs every
// call there ("log", one line of arguments each, and "locale", the LC_ALL it ran with):
//   profiles      the connection profiles, "NAME:TYPE" a line
//   active        the active ones, "NAME:activated" a line (a successful "up" adds one, "down"
//                 removes it)
//   device        "DEVICE:STATE:CONNECTION" lines
//   settings/NAME/SETTING  a profile's setting values
//   up.rc, up.out, up.sleep, up.hang   how "connection up" ends: exit code, output, delay, never
//   notrunning    present: NetworkManager is not running
// Writes the script to `path` as an executable; false when it cannot.
bool WriteFakeNmcli(const std::string& path);

}  // namespace qlm::test
