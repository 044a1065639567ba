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

run_dir=$(realpath -m "${1:-${VELMOR_WAYLAND_STACK_DIR:-/tmp/velmor-wayland-stack}}")
user=${VELMOR_WAYLAND_USER:-velmor-wayland}
if [ -s "$run_dir/pids" ]; then
  echo "wayland stack already running in $run_dir (stop it with wayland-stack-down.sh)" >&2
  exit 1
fi
[ "$(id -u)" -eq 0 ] || { echo "wayland-stack-up.sh: run as root (it starts the desktop as '$user')" >&2; exit 1; }
mkdir -p "$run_dir"
chmod 700 "$run_dir"
: > "$run_dir/pids"

trap '"$(dirname "$0")/wayland-stack-down.sh" "$run_dir"' ERR

id -u "$user" >/dev/null 2>&1 ||
  useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
uid=$(id -u "$user")
gid=$(id -g "$user")

# The user's files live outside the work tree, whose folders the user may not be able to enter.
base=$(mktemp -d /tmp/velmor-wayland.XXXXXX)
echo "$base" > "$run_dir/base"
home="$base/home"
runtime="$base/xdg"
mkdir -p "$home/.config" "$home/.cache" "$home/.local/share" "$runtime"
chown -R "$uid:$gid" "$base"
chmod 755 "$base"
chmod 700 "$runtime"

# Runs a program as the test user in place of the (sub)shell that calls it.
as_user() {
  exec setpriv --reuid="$uid" --regid="$gid" --init-groups -- \
    env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" USER="$user" LOGNAME="$user" XDG_RUNTIME_DIR="$runtime" \
    XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" XDG_DATA_HOME="$home/.local/share" \
    ${DBUS_SESSION_BUS_ADDRESS:+DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"} \
    ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY="$WAYLAND_DISPLAY"} "$@"
}

wait_for() {  # wait_for <what> <command...>: up to 10 s
  local what=$1; shift
  for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "wayland stack: $what did not come up (logs in $run_dir)" >&2
  return 1
}

# Session bus: the session defaults, and root may connect too.
cat > "$base/session-bus.conf" <<EOT
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <listen>unix:path=$base/session-bus</listen>
  <policy context="default"><allow user="root"/></policy>
</busconfig>
EOT
read -r DBUS_SESSION_BUS_ADDRESS dbus_pid < <( (as_user dbus-daemon --config-file="$base/session-bus.conf" --fork \
  --nopidfile --print-address=1 --print-pid=1) | paste -s -d' ')
# session.conf listens on a socket of its own as well; keep the one named here.
DBUS_SESSION_BUS_ADDRESS="unix:path=$base/session-bus"
export DBUS_SESSION_BUS_ADDRESS
echo "$dbus_pid dbus-daemon" >> "$run_dir/pids"

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

# The accessibility bus, started now so that it is enabled (org.a11y.Status.IsEnabled).
(as_user /usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1) >"$run_dir/atspi.log" 2>&1 &
echo "$! at-spi-bus-launcher" >> "$run_dir/pids"
wait_for "the AT-SPI bus" dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
  org.a11y.Bus.GetAddress

# Root's clients (the tests and their applications) get a runtime folder of their own: GTK
# wants one even when the Wayland socket is named by its path.
mkdir -p "$run_dir/xdg"
chmod 700 "$run_dir/xdg"

# The same for programs that read it themselves (the Wayland tests): NAME=VALUE per line.
cat > "$run_dir/environment" <<EOT
WAYLAND_DISPLAY=$WAYLAND_DISPLAY
SWAYSOCK=$SWAYSOCK
VELMOR_WESTON_DISPLAY=$runtime/weston-velmor
VELMOR_XWAYLAND_DISPLAY=$xwayland_display
XDG_RUNTIME_DIR=$run_dir/xdg
DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS
XDG_SESSION_TYPE=wayland
EOT
cat > "$run_dir/env.sh" <<EOT
export WAYLAND_DISPLAY=$WAYLAND_DISPLAY SWAYSOCK=$SWAYSOCK XDG_RUNTIME_DIR=$run_dir/xdg
export DBUS_SESSION_BUS_ADDRESS='$DBUS_SESSION_BUS_ADDRESS'
export XDG_SESSION_TYPE=wayland
unset DISPLAY
EOT
trap - ERR
