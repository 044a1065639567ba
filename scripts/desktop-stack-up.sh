#!/usr/bin/env bash
# Starts a private virtual desktop for the desktop tests and benchmarks: a session D-Bus,
# Xvfb on a free display, openbox, the AT-SPI bus and a PulseAudio server whose default
# sink is a null sink (its monitor, null.monitor, records what was played). Every process it starts is listed in
# RUN_DIR/pids ("PID name" per line) so desktop-stack-down.sh stops exactly those.
# Clients take their environment from RUN_DIR/env.sh:
#   scripts/desktop-stack-up.sh build/desktop-stack && . build/desktop-stack/env.sh
set -euo pipefail

run_dir=$(realpath -m "${1:-${VELMOR_STACK_DIR:-/tmp/velmor-desktop-stack}}")
if [ -s "$run_dir/pids" ]; then
  echo "desktop stack already running in $run_dir (stop it with desktop-stack-down.sh)" >&2
  exit 1
fi
mkdir -p "$run_dir"
chmod 700 "$run_dir"
: > "$run_dir/pids"

# A failed start leaves nothing behind.
trap '"$(dirname "$0")/desktop-stack-down.sh" "$run_dir"' ERR

# The daemons get a home of their own so nothing lands in the real user's folders.
export HOME="$run_dir/home"
export XDG_RUNTIME_DIR="$run_dir/xdg"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

wait_for() {  # wait_for <what> <command...>: up to 10 s
  local what=$1; shift
  for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "desktop stack: $what did not come up (logs in $run_dir)" >&2
  return 1
}

# Session bus: its own daemon, so its PID is known.
read -r DBUS_SESSION_BUS_ADDRESS dbus_pid < <(dbus-daemon --session --fork --nopidfile \
  --print-address=1 --print-pid=1 | paste -s -d' ')
export DBUS_SESSION_BUS_ADDRESS
echo "$dbus_pid dbus-daemon" >> "$run_dir/pids"

# Xvfb picks a free display and reports it on fd 5 once it accepts connections.
fifo="$run_dir/displayfd"
rm -f "$fifo"
mkfifo "$fifo"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset +extension XTEST +extension RANDR \
  5>"$fifo" >"$run_dir/xvfb.log" 2>&1 &
echo "$! Xvfb" >> "$run_dir/pids"
read -r -t 10 display_number < "$fifo"
rm -f "$fifo"
export DISPLAY=":$display_number"

# openbox without its Client-context mouse bindings: their synchronous button grabs delay
# and misplace synthetic pointer events. Windows are then focused through EWMH only.
perl -0pe 's#<context name="Client">.*?</context>#<context name="Client"></context>#s' \
  /etc/xdg/openbox/rc.xml > "$run_dir/openbox-rc.xml"
openbox --sm-disable --config-file "$run_dir/openbox-rc.xml" >"$run_dir/openbox.log" 2>&1 &
echo "$! openbox" >> "$run_dir/pids"
wait_for "openbox" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

# The accessibility bus, started here rather than on demand so that it is enabled
# (org.a11y.Status.IsEnabled) and announced on the root window for this display only.
/usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1 >"$run_dir/atspi.log" 2>&1 &
echo "$! at-spi-bus-launcher" >> "$run_dir/pids"
wait_for "the AT-SPI bus" dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
  org.a11y.Bus.GetAddress

# Sound goes to a null sink; the socket lives in this desktop's runtime folder, so other
# desktops on the machine keep their own server.
printf '%s\n' 'load-module module-null-sink sink_name=null sink_properties=device.description=NullSink' \
  'set-default-sink null' 'set-default-source null.monitor' \
  'load-module module-native-protocol-unix auth-anonymous=1' > "$run_dir/pa.pa"
pulseaudio -n -F "$run_dir/pa.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --log-target=stderr >"$run_dir/pulse.log" 2>&1 &
echo "$! pulseaudio" >> "$run_dir/pids"
wait_for "PulseAudio" pactl info
# An idle null sink wakes only every two seconds, so a sound that starts then is heard up to
# two seconds late and ends as late; a sound card answers within milliseconds. A silent
# stream at low latency keeps the sink awake as a card would be.
pacat --playback --raw --latency-msec=20 --client-name=keep-awake /dev/zero >"$run_dir/pacat.log" 2>&1 &
echo "$! pacat" >> "$run_dir/pids"
wait_for "the awake null sink" sh -c 'pactl list sinks | grep -q "Latency: [0-9]\{1,5\} usec"'

cat > "$run_dir/env.sh" <<EOT
export DISPLAY=$DISPLAY
export DBUS_SESSION_BUS_ADDRESS='$DBUS_SESSION_BUS_ADDRESS'
export XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR
EOT
trap - ERR
