#pragma once

#include <string>

// Where Velmor keeps its files. Every location derives from HOME and the XDG base
// directories at the time of the call, so a test can point them at a temporary folder.
namespace velmor::paths {

std::string homeDirectory();
// $XDG_CONFIG_HOME, or ~/.config when unset or not absolute.
std::string configHome();
// $XDG_DATA_HOME, or ~/.local/share when unset or not absolute.
std::string dataHome();
// $XDG_STATE_HOME, or ~/.local/state when unset or not absolute.
std::string stateHome();

// ~/.velmor/config.json: the file the application and the bridge share.
std::string sharedConfigFile();
// $XDG_RUNTIME_DIR/velmor, the user's private folder for this session's sockets and locks;
// /tmp/velmor-<uid> when XDG_RUNTIME_DIR is unset or not absolute (the caller makes sure
// that one is ours).
std::string runtimeDirectory();
// ~/.config/velmor/defaults.json: the application's own preferences (onboarding flag, ...).
std::string defaultsFile();
// ~/.local/state/velmor/velmor.log
std::string logFile();
// ~/.local/share/velmor/flows.db
std::string flowDatabase();
// ~/.local/share/velmor/server.p12: the user's own TLS identity for wss://
std::string tlsIdentityFile();
// ~/.config/autostart/velmor.desktop: present while Velmor starts at login.
std::string autostartEntry();
// Where recordings go: the user's videos folder as XDG_VIDEOS_DIR in
// $XDG_CONFIG_HOME/user-dirs.dirs names it, else ~/Videos when that folder exists, else home.
std::string videosDirectory();

// A program installed in the same folder as the running one (velmor-shortcuts beside velmor).
std::string besideThisProgram(const std::string& program);

}  // namespace velmor::paths
