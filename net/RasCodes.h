#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qlm {

// The connection states and error numbers of the dial-up notices, with the numbers of the remote
// access service that the rest of the system reasons with.
enum : int {
  RASCS_OpenPort = 0,
  RASCS_PortOpened = 1,
  RASCS_ConnectDevice = 2,
  RASCS_DeviceConnected = 3,
  RASCS_Authenticate = 5,
  RASCS_Projected = 18,
  RASCS_StartAuthentication = 19,
  RASCS_LogonNetwork = 21,
  RASCS_Connected = 8192,
  RASCS_Disconnected = 8193,
};

enum : int {
  ERROR_INVALID_HANDLE = 6,
  ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623,
  ERROR_PORT_DISCONNECTED = 629,
  ERROR_HARDWARE_FAILURE = 630,
  ERROR_UNKNOWN = 635,
  ERROR_LINE_BUSY = 676,
  ERROR_NO_ANSWER = 678,
  ERROR_NO_CARRIER = 679,
  ERROR_NO_DIALTONE = 680,
  ERROR_AUTHENTICATION_FAILURE = 691,
  ERROR_RASMAN_CANNOT_INITIALIZE = 711,  // no connection back end on this machine
  ERROR_PPP_TIMEOUT = 718,
};

// The status-bar text for a dial-up notice (state, error), in Shift_JIS; nullopt when the text
// stays as it is (a progress state without a text of its own).
std::optional<std::string_view> DialStatusText(std::int64_t state, std::int64_t error);

}  // namespace qlm
