#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Message.h"

namespace qlm {

// A connection of a dial-up back end; 0 is none. Never reused by a back end object.
using DialConn = std::uint64_t;

// What a dial needs: the entry (connection profile) and its credentials.
struct DialParams {
  std::string entry;
  std::string user;
  std::string password;
};

// The connection service behind the dial-up manager, in the shape of the remote access calls the
// manager is built on: entries of a phone book, dialling with progress posted to a window, hang-up,
// and the status of a connection. The default back end drives NetworkManager; tests use a scripted
// one. Calls may come from any thread; a back end serialises them itself and never calls back
// into its caller, it only posts.
class DialBackend {
 public:
  virtual ~DialBackend() = default;

  // The entries that can be dialled, in the back end's order; empty when there is no back end.
  virtual std::vector<std::string> Entries() = 0;

  // A connection of `entry` that is up already (it is then adopted, never hung up by us), or 0.
  virtual DialConn FindConnected(const std::string& entry) = 0;

  // Fills in the user name and password saved with params->entry; leaves them as they are when
  // the back end keeps none.
  virtual void GetEntryDialParams(DialParams* params) = 0;

  // Saves params.user with params.entry, and params.password with it when `save_password`;
  // without it a password saved with the entry is removed. False when the back end could not.
  virtual bool SetEntryDialParams(const DialParams& params, bool save_password) = 0;

  // Starts dialling params.entry. Progress and the outcome are posted to `notify` as `message`
  // with wParam a connection state and lParam an error number (RasCodes.h), and a
  // PayloadValue<DialConn> payload naming the connection: (state, 0) progress, (RASCS_Connected,
  // 0) up, (0, error) failed; nothing more follows the outcome. Returns 0 with *conn set, or an
  // error number when the dial cannot even start (*conn may be set then too, to be hung up).
  virtual int Dial(const DialParams& params, Hwnd notify, unsigned message, DialConn* conn) = 0;

  // Hangs up a connection, or abandons its dial; no notice of it is posted afterwards. Returns
  // once the back end has let go of it (its status may still show it for a while).
  virtual void HangUp(DialConn conn) = 0;

  // Lets go of a connection without hanging it up (an adopted one).
  virtual void Forget(DialConn conn) = 0;

  // The state of a connection in *state: 0 while it exists, ERROR_INVALID_HANDLE once it is gone.
  virtual int ConnectStatus(DialConn conn, int* state) = 0;
};

}  // namespace qlm
