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

// ~/.velmor/config.json: the file the application and the bridge share.
std::string sharedConfigFile();
// $XDG_RUNTIME_DIR/velmor, the user's private folder for this session's sockets and locks;
// /tmp/velmor-<uid> when XDG_RUNTIME_DIR is unset or not absolute (the caller makes sure
// that one is ours).
std::string runtimeDirectory();
// ~/.config/velmor/defaults.json: the application's own preferences (bearer token, ...).
std::string defaultsFile();
// ~/.local/share/velmor/flows.db
std::string flowDatabase();
// ~/.local/share/velmor/server.p12: the user's own TLS identity for wss://
std::string tlsIdentityFile();
// ~/.config/autostart/velmor.desktop: present while Velmor starts at login.
std::string autostartEntry();
// ~/Desktop
std::string desktopDirectory();

// A program installed in the same folder as the running one (velmor-shortcuts beside velmor).
std::string besideThisProgram(const std::string& program);

}  // namespace velmor::paths
