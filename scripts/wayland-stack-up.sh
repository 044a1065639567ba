#!/usr/bin/env bash
# Starts a private Wayland desktop for the Wayland tests: a headless sway with its own
# session D-Bus and AT-SPI bus, all run as an unprivileged test user (sway refuses root), its
# XWayland for X11 clients (VELMOR_XWAYLAND_DISPLAY in the environment file), and a headless
# weston beside it (VELMOR_WESTON_DISPLAY).
# Every process it starts is listed in RUN_DIR/pids ("PID name" per line), so
# wayland-stack-down.sh stops exactly those. Clients take their environment from
# RUN_DIR/env.sh:
#   scripts/wayland-stack-up.sh build/wayland-stack && . build/wayland-stack/env.sh
#
# Root reaches this desktop as well as the test user does: the Wayland socket is named by
# its absolute path (root passes the runtime folder's 0700), the session bus lets root in
# by its policy, and the accessibility bus does so by its own default policy.
set -euo pipefail

. "$(dirname "$0")/user-desktop.sh"
user_desktop_begin wayland "$(realpath -m "${1:-${VELMOR_WAYLAND_STACK_DIR:-/tmp/velmor-wayland-stack}}")" \
  "${VELMOR_WAYLAND_USER:-velmor-wayland}"
start_session_bus

# sway on one virtual output, without a bar or wallpaper, so the screen holds only the test's
# windows. The headless backend needs neither a GPU nor input devices.
cat > "$base/sway.conf" <<EOT
output HEADLESS-1 resolution 1280x800 position 0 0
default_border none
focus_on_window_activation focus
EOT
chown "$uid:$gid" "$base/sway.conf"
(as_user env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway --config "$base/sway.conf") >"$run_dir/sway.log" 2>&1 &
echo "$! sway" >> "$run_dir/pids"
wait_for "sway" sh -c "ls '$runtime' | grep -q '^wayland-[0-9]*$'"
WAYLAND_DISPLAY="$runtime/$(ls "$runtime" | grep '^wayland-[0-9]*$' | head -n1)"
export WAYLAND_DISPLAY
wait_for "sway's output" sh -c "grim -t png '$base/check.png'"
[ "$(head -c 8 "$base/check.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
  { echo "wayland stack: grim made no PNG of sway's output" >&2; false; }
# sway's IPC socket tells clients where windows are; a client of another user cannot find it
# by its own user id, so it is named in the environment.
SWAYSOCK=$(ls "$runtime"/sway-ipc."$uid".*.sock)
export SWAYSOCK

# X11 applications reach sway through its XWayland, which admits only the user it runs as:
# root's test applications are let in too. The display is the one whose lock file names sway
# (it listens for X clients itself and starts the server for the first).
sway_pid=$(sed -n 's/^\([0-9]*\) sway$/\1/p' "$run_dir/pids")
xwayland_display=
for lock in /tmp/.X*-lock; do
  [ "$(tr -d ' \0\n' < "$lock" 2>/dev/null)" = "$sway_pid" ] || continue
  xwayland_display=":$(basename "$lock" -lock | sed 's/^\.X//')"
done
if [ -n "$xwayland_display" ]; then
  (as_user env DISPLAY="$xwayland_display" xhost +si:localuser:root) >"$run_dir/xhost.log" 2>&1
fi

# Beside it weston, a compositor without the wlroots protocols, where every service that
# needs one must say which it lacks.
(as_user weston --backend=headless-backend.so --socket=weston-velmor --width=1024 --height=768 \
  --idle-time=0) >"$run_dir/weston.log" 2>&1 &
echo "$! weston" >> "$run_dir/pids"
wait_for "weston" test -S "$runtime/weston-velmor"

# The accessibility bus, started now so that it is enabled for the tests' applications.
start_accessibility_bus

write_environment "WAYLAND_DISPLAY=$WAYLAND_DISPLAY" "SWAYSOCK=$SWAYSOCK" \
  "VELMOR_WESTON_DISPLAY=$runtime/weston-velmor" "VELMOR_XWAYLAND_DISPLAY=$xwayland_display" \
  XDG_SESSION_TYPE=wayland
trap - ERR
