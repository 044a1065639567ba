#!/usr/bin/env bash
# Starts a private GNOME Wayland desktop for the GNOME tests: a headless mutter on one virtual
# monitor, with PipeWire and WirePlumber for its screen casts, its own session D-Bus and
# AT-SPI bus, all run as an unprivileged test user. Every process it starts is listed in
# RUN_DIR/pids, so mutter-stack-down.sh stops exactly those. Clients take their environment
# from RUN_DIR/env.sh (shells) or RUN_DIR/environment (NAME=VALUE per line):
#   scripts/mutter-stack-up.sh build/mutter-stack && . build/mutter-stack/env.sh
#
# Root reaches this desktop as well as the test user does: the Wayland and PipeWire sockets
# are named by their absolute paths, and both buses let root in by their policies.
set -euo pipefail

. "$(dirname "$0")/user-desktop.sh"
user_desktop_begin mutter "$(realpath -m "${1:-${VELMOR_MUTTER_STACK_DIR:-/tmp/velmor-mutter-stack}}")" \
  "${VELMOR_MUTTER_USER:-velmor-mutter}"
start_session_bus

# PipeWire carries the screen casts' frames; WirePlumber manages its sessions. Neither needs
# a sound card here.
(as_user pipewire) >"$run_dir/pipewire.log" 2>&1 &
echo "$! pipewire" >> "$run_dir/pids"
wait_for "PipeWire" test -S "$runtime/pipewire-0"
(as_user wireplumber) >"$run_dir/wireplumber.log" 2>&1 &
echo "$! wireplumber" >> "$run_dir/pids"

# The accessibility bus, started before mutter so that every application finds it enabled.
start_accessibility_bus

# mutter without X11: the test applications are Wayland clients.
(as_user mutter --headless --wayland --no-x11 --wayland-display=wayland-velmor \
  --virtual-monitor 1280x800) >"$run_dir/mutter.log" 2>&1 &
echo "$! mutter" >> "$run_dir/pids"
wait_for "mutter" test -S "$runtime/wayland-velmor"
wait_for "mutter's RemoteDesktop service" dbus-send --session --print-reply --dest=org.gnome.Mutter.RemoteDesktop \
  /org/gnome/Mutter/RemoteDesktop org.freedesktop.DBus.Properties.Get string:org.gnome.Mutter.RemoteDesktop \
  string:SupportedDeviceTypes
WAYLAND_DISPLAY="$runtime/wayland-velmor"

# The desktop portal with GNOME's dialogs, for programs that ask the user before they see the
# screen or send input; it refuses to run as root. The bus starts its GNOME backend, which
# needs the display and the desktop's name in the bus's environment. The portal tells a
# sandboxed caller by the root folder of its process, which the kernel shows no other user for
# root's processes (the tests): on this test desktop the portal may look into other users'
# processes. It is started before anything asks the bus for it, so the bus starts no other.
(as_user dbus-update-activation-environment "WAYLAND_DISPLAY=$WAYLAND_DISPLAY" XDG_CURRENT_DESKTOP=GNOME)
(user_caps=+sys_ptrace as_user env XDG_CURRENT_DESKTOP=GNOME /usr/libexec/xdg-desktop-portal) \
  >"$run_dir/portal.log" 2>&1 &
echo "$! xdg-desktop-portal" >> "$run_dir/pids"
wait_for "the desktop portal" dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
  org.freedesktop.DBus.GetNameOwner string:org.freedesktop.portal.Desktop
wait_for "the desktop portal's screen casts" dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
  /org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get string:org.freedesktop.portal.ScreenCast \
  string:version

# PIPEWIRE_REMOTE names the test user's PipeWire for root's clients.
write_environment "WAYLAND_DISPLAY=$WAYLAND_DISPLAY" "PIPEWIRE_REMOTE=$runtime/pipewire-0" \
  XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
trap - ERR
