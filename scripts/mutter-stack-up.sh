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

run_dir=$(realpath -m "${1:-${VELMOR_MUTTER_STACK_DIR:-/tmp/velmor-mutter-stack}}")
user=${VELMOR_MUTTER_USER:-velmor-mutter}
if [ -s "$run_dir/pids" ]; then
  echo "mutter stack already running in $run_dir (stop it with mutter-stack-down.sh)" >&2
  exit 1
fi
[ "$(id -u)" -eq 0 ] || { echo "mutter-stack-up.sh: run as root (it starts the desktop as '$user')" >&2; exit 1; }
mkdir -p "$run_dir"
chmod 700 "$run_dir"
: > "$run_dir/pids"

trap '"$(dirname "$0")/mutter-stack-down.sh" "$run_dir"' ERR

id -u "$user" >/dev/null 2>&1 ||
  useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
uid=$(id -u "$user")
gid=$(id -g "$user")

base=$(mktemp -d /tmp/velmor-mutter.XXXXXX)
echo "$base" > "$run_dir/base"
home="$base/home"
runtime="$base/xdg"
mkdir -p "$home/.config" "$home/.cache" "$home/.local/share" "$home/.local/state" "$runtime"
chown -R "$uid:$gid" "$base"
chmod 755 "$base"
chmod 700 "$runtime"

as_user() {
  exec setpriv --reuid="$uid" --regid="$gid" --init-groups -- \
    env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" USER="$user" LOGNAME="$user" XDG_RUNTIME_DIR="$runtime" \
    XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" XDG_DATA_HOME="$home/.local/share" \
    XDG_STATE_HOME="$home/.local/state" \
    ${DBUS_SESSION_BUS_ADDRESS:+DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"} \
    ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY="$WAYLAND_DISPLAY"} "$@"
}

wait_for() {  # wait_for <what> <command...>: up to 20 s
  local what=$1; shift
  for _ in $(seq 400); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "mutter stack: $what did not come up (logs in $run_dir)" >&2
  return 1
}

cat > "$base/session-bus.conf" <<EOT
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <listen>unix:path=$base/session-bus</listen>
  <policy context="default"><allow user="root"/></policy>
</busconfig>
EOT
read -r _ dbus_pid < <( (as_user dbus-daemon --config-file="$base/session-bus.conf" --fork \
  --nopidfile --print-address=1 --print-pid=1) | paste -s -d' ')
DBUS_SESSION_BUS_ADDRESS="unix:path=$base/session-bus"
export DBUS_SESSION_BUS_ADDRESS
echo "$dbus_pid dbus-daemon" >> "$run_dir/pids"

# PipeWire carries the screen casts' frames; WirePlumber manages its sessions. Neither needs
# a sound card here.
(as_user pipewire) >"$run_dir/pipewire.log" 2>&1 &
echo "$! pipewire" >> "$run_dir/pids"
wait_for "PipeWire" test -S "$runtime/pipewire-0"
(as_user wireplumber) >"$run_dir/wireplumber.log" 2>&1 &
echo "$! wireplumber" >> "$run_dir/pids"

# The accessibility bus, started before mutter so that every application finds it enabled.
(as_user /usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1) >"$run_dir/atspi.log" 2>&1 &
echo "$! at-spi-bus-launcher" >> "$run_dir/pids"
wait_for "the AT-SPI bus" dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
  org.a11y.Bus.GetAddress

# mutter without X11: the test applications are Wayland clients.
(as_user mutter --headless --wayland --no-x11 --wayland-display=wayland-velmor \
  --virtual-monitor 1280x800) >"$run_dir/mutter.log" 2>&1 &
echo "$! mutter" >> "$run_dir/pids"
wait_for "mutter" test -S "$runtime/wayland-velmor"
wait_for "mutter's RemoteDesktop service" dbus-send --session --print-reply --dest=org.gnome.Mutter.RemoteDesktop \
  /org/gnome/Mutter/RemoteDesktop org.freedesktop.DBus.Properties.Get string:org.gnome.Mutter.RemoteDesktop \
  string:SupportedDeviceTypes
WAYLAND_DISPLAY="$runtime/wayland-velmor"

mkdir -p "$run_dir/xdg"
chmod 700 "$run_dir/xdg"

# PIPEWIRE_REMOTE names the test user's PipeWire for root's clients.
cat > "$run_dir/environment" <<EOT
WAYLAND_DISPLAY=$WAYLAND_DISPLAY
PIPEWIRE_REMOTE=$runtime/pipewire-0
XDG_RUNTIME_DIR=$run_dir/xdg
DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS
XDG_SESSION_TYPE=wayland
XDG_CURRENT_DESKTOP=GNOME
EOT
cat > "$run_dir/env.sh" <<EOT
export WAYLAND_DISPLAY=$WAYLAND_DISPLAY PIPEWIRE_REMOTE=$runtime/pipewire-0 XDG_RUNTIME_DIR=$run_dir/xdg
export DBUS_SESSION_BUS_ADDRESS='$DBUS_SESSION_BUS_ADDRESS'
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
unset DISPLAY SWAYSOCK
EOT
trap - ERR
