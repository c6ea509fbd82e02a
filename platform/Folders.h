#pragma once

#include <string>

namespace qlm {

// Where Quillmere keeps its files on Linux. Folder paths returned here end in "/", so that a file
// name can be appended directly, as the rest of the system does with its folders.
//
// An XDG variable counts only when it holds an absolute path; an empty or relative value is
// ignored, as the XDG base directory rules require.

// The user's home: $HOME, else the password database entry; no final "/". Empty when neither
// is known.
std::string HomeFolder();

// The per-user settings file, the stand-in for the registry:
// ${XDG_CONFIG_HOME:-$HOME/.config}/Brackwater/Quillmere.ini.
std::string SettingsFilePath();

// The data folder, which is both the install folder and the program folder of the system:
// ${XDG_DATA_HOME:-$HOME/.local/share}/Quillmere/. Only computes the path.
std::string DataFolder();

// Creates the data folder and its missing parents. False (errno set) when it cannot be made.
bool CreateDataFolder();

// The runtime folder for named locks and sockets:
// ${XDG_RUNTIME_DIR:-/tmp/quillmere-$UID}/quillmere/, created with mode 0700 when missing.
// Because the fallback lies in the shared /tmp, every folder this creates is checked to be a real
// folder (not a link) owned by this user and closed to others. Empty (errno set) when the folder
// cannot be made or fails that check.
std::string RuntimeFolder();

// The folder of the running executable; the programs start each other from there. Empty when
// the kernel does not tell.
std::string ExecutableFolder();

// Creates a folder and its missing parents, each new one with the given mode (before umask).
// True when the folder exists afterwards; false (errno set) otherwise.
bool CreateFolders(const std::string& path, unsigned mode);

}  // namespace qlm
