# What the headless Wayland desktops for the tests share (wayland-stack-up.sh,
# mutter-stack-up.sh and their -down scripts): the unprivileged user a desktop runs as (its
# compositor refuses root), that user's folders, its session and accessibility buses, and the
# files that hand the desktop's environment to clients. Sourced, not run.

scripts_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# user_desktop_begin <desktop> <run_dir> <user>: refuses a second desktop in run_dir and a
# caller other than root, creates the user and its folders, and stops whatever was started
# when a later step fails. Sets desktop, run_dir, user, uid, gid, base, home and runtime.
user_desktop_begin() {
  desktop=$1 run_dir=$2 user=$3
  if [ -s "$run_dir/pids" ]; then
    echo "$desktop stack already running in $run_dir (stop it with $desktop-stack-down.sh)" >&2
    exit 1
  fi
  [ "$(id -u)" -eq 0 ] || { echo "$desktop-stack-up.sh: run as root (it starts the desktop as '$user')" >&2; exit 1; }
  mkdir -p "$run_dir"
  chmod 700 "$run_dir"
  : > "$run_dir/pids"
  trap '"$scripts_dir/$desktop-stack-down.sh" "$run_dir"' ERR

  id -u "$user" >/dev/null 2>&1 ||
    useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
  uid=$(id -u "$user")
  gid=$(id -g "$user")
  # The user's files live outside the work tree, whose folders the user may not be able to enter.
  base=$(mktemp -d "/tmp/velmor-$desktop.XXXXXX")
  echo "$base" > "$run_dir/base"
  home="$base/home"
  runtime="$base/xdg"
  mkdir -p "$home/.config" "$home/.cache" "$home/.local/share" "$home/.local/state" "$runtime"
  chown -R "$uid:$gid" "$base"
  chmod 755 "$base"
  chmod 700 "$runtime"
}

# Runs a program as the test user in place of the (sub)shell that calls it; with user_caps set
# (such as +sys_ptrace), the program keeps those capabilities.
as_user() {
  exec setpriv --reuid="$uid" --regid="$gid" --init-groups \
    ${user_caps:+--inh-caps="$user_caps" --ambient-caps="$user_caps"} -- \
    env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" USER="$user" LOGNAME="$user" XDG_RUNTIME_DIR="$runtime" \
    XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" XDG_DATA_HOME="$home/.local/share" \
    XDG_STATE_HOME="$home/.local/state" \
    ${DBUS_SESSION_BUS_ADDRESS:+DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"} \
    ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY="$WAYLAND_DISPLAY"} "$@"
}

# wait_for <what> <command...>: until the command succeeds, up to 20 s.
wait_for() {
  local what=$1; shift
  for _ in $(seq 400); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "$desktop stack: $what did not come up (logs in $run_dir)" >&2
  return 1
}

# The user's session bus, with the session defaults; root may connect too. Exports
# DBUS_SESSION_BUS_ADDRESS.
start_session_bus() {
  cat > "$base/session-bus.conf" <<EOT
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <listen>unix:path=$base/session-bus</listen>
  <policy context="default"><allow user="root"/></policy>
</busconfig>
EOT
  local dbus_pid
  # What the bus starts on demand writes to the bus's log.
  read -r _ dbus_pid < <( (as_user dbus-daemon --config-file="$base/session-bus.conf" --fork \
    --nopidfile --print-address=1 --print-pid=1 2>"$run_dir/session-bus.log") | paste -s -d' ')
  echo "$dbus_pid dbus-daemon" >> "$run_dir/pids"
  # session.conf listens on a socket of its own as well; keep the one named here.
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$base/session-bus"
}

# The accessibility bus, enabled (org.a11y.Status.IsEnabled) for every application started
# after it.
start_accessibility_bus() {
  (as_user /usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1) >"$run_dir/atspi.log" 2>&1 &
  echo "$! at-spi-bus-launcher" >> "$run_dir/pids"
  wait_for "the AT-SPI bus" dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress
}

# write_environment NAME=VALUE...: the desktop's environment for clients, as RUN_DIR/environment
# (NAME=VALUE per line, for programs that read it) and RUN_DIR/env.sh (for shells). Root's
# clients (the tests and their applications) get a runtime folder of their own, RUN_DIR/xdg:
# GTK wants one even where the sockets are named by their paths. The variables that would lead
# a client to another test desktop are unset unless named here.
write_environment() {
  mkdir -p "$run_dir/xdg"
  chmod 700 "$run_dir/xdg"
  local pairs=("$@" "XDG_RUNTIME_DIR=$run_dir/xdg" "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS")
  printf '%s\n' "${pairs[@]}" > "$run_dir/environment"
  {
    local pair other
    for pair in "${pairs[@]}"; do printf 'export %s=%q\n' "${pair%%=*}" "${pair#*=}"; done
    for other in DISPLAY SWAYSOCK AT_SPI_BUS_ADDRESS; do
      printf '%s\n' "${pairs[@]}" | grep -q "^$other=" || echo "unset $other"
    done
  } > "$run_dir/env.sh"
}

# user_desktop_down <desktop> <run_dir>: stops exactly the processes listed in RUN_DIR/pids
# (as desktop-stack-down.sh does) and removes the test user's files.
user_desktop_down() {
  local desktop=$1 run_dir=$2
  "$scripts_dir/desktop-stack-down.sh" "$run_dir"
  if [ -s "$run_dir/base" ]; then
    local base
    base=$(cat "$run_dir/base")
    case "$base" in "/tmp/velmor-$desktop."*) rm -rf "$base" ;; esac
  fi
  rm -f "$run_dir/base" "$run_dir/environment"
}
