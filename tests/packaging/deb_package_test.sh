#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack from this build tree, unpacked and
# then installed and removed in scratch roots, never on this system. Checks what it holds
# (programs that run, the desktop entry, icons of several sizes, manual pages that render and
# name every option the programs' --help names, the systemd user unit) and that it depends on
# run-time packages only.
# Usage: deb_package_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir="$1"
build_dir="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
deb="$(ls "$work"/out/velmor_*.deb)"
root="$work/root"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x" >&2; exit 1; }
version="$(dpkg-deb -f "$deb" Version)"

# The programs, in /usr/bin, run from where they were unpacked (every library they link is
# found), and velmor is the version the package says.
for program in velmor velmor-bridge velmor-shortcuts; do
  [ -x "$root/usr/bin/$program" ] || { fail "$program is not in /usr/bin"; continue; }
  "$root/usr/bin/$program" --help >/dev/null 2>&1 || fail "$program --help fails"
done
said="$("$root/usr/bin/velmor" --version 2>&1)"
[ "$said" = "velmor $version" ] || fail "velmor --version says '$said', the package is $version"

# Manual pages: render without a warning, and name every option and command --help names.
for program in velmor velmor-bridge velmor-shortcuts; do
  page="$root/usr/share/man/man1/$program.1.gz"
  [ -f "$page" ] || { fail "no manual page for $program"; continue; }
  warnings="$(zcat "$page" | groff -man -ww -z 2>&1)"
  [ -z "$warnings" ] || fail "the manual page of $program has warnings: $warnings"
  # Rendered on long lines without hyphenation, so that no option is split.
  text="$(zcat "$page" | groff -man -Tascii -P-cbou -rLL=250n -rHY=0 2>/dev/null)"
  grep -q "velmor $version" <<<"$text" || fail "the manual page of $program does not name version $version"
  help="$("$root/usr/bin/$program" --help 2>&1)"
  for option in $(grep -oE '(^|[ [|])--?[a-z][a-z-]*' <<<"$help" | tr -d ' [|' | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "the manual page of $program does not mention $option from --help"
  done
  if [ "$program" = velmor-shortcuts ]; then
    for command in list run sign import; do
      grep -qE "velmor-shortcuts $command" <<<"$help" || fail "velmor-shortcuts --help lacks $command"
      grep -qE "^ +$command( |$)" <<<"$text" || fail "the manual page of velmor-shortcuts does not describe $command"
    done
  fi
done

# Icons: each size in its own hicolor folder, each file as large as its folder says.
for size in 16 22 24 32 48 64; do
  for icon in velmor velmor-copied; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    [ -f "$png" ] || { fail "no $icon icon of $size pixels"; continue; }
    # The PNG header's width and height: bytes 16-23, big-endian.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
      awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$png is ${width}x$height"
  done
done
# dpkg rebuilds the icon cache through the icon theme's trigger on this folder.
dpkg-deb -f "$deb" Depends | grep -qw hicolor-icon-theme || fail "the package does not depend on hicolor-icon-theme"
triggers=/var/lib/dpkg/info/hicolor-icon-theme.triggers
if [ -f "$triggers" ]; then
  grep -qx 'interest-noawait /usr/share/icons/hicolor' "$triggers" || fail "hicolor-icon-theme has no trigger on its folder"
fi

# The desktop entry: valid, starting a program of the package, with an icon it installs.
entry="$root/usr/share/applications/velmor.desktop"
if [ -f "$entry" ]; then
  desktop-file-validate "$entry" || fail "desktop-file-validate refuses velmor.desktop"
  exec_program="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")"
  [ -x "$root/usr/bin/$exec_program" ] || fail "the desktop entry starts '$exec_program', which the package lacks"
  icon="$(sed -n 's/^Icon=//p' "$entry")"
  [ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "the desktop entry's icon '$icon' is not installed"
else
  fail "no desktop entry"
fi

# The systemd user unit: starts the installed program, restarts it on failure, lives with the
# graphical session, and passes systemd-analyze (with the programs and manual pages where
# they were unpacked, as verify looks for them).
unit="$root/usr/lib/systemd/user/velmor.service"
if [ -f "$unit" ]; then
  grep -qx 'ExecStart=/usr/bin/velmor' "$unit" || fail "the unit does not start /usr/bin/velmor: $(grep ExecStart "$unit")"
  grep -qx 'Type=simple' "$unit" || fail "the unit is not Type=simple"
  grep -qx 'Restart=on-failure' "$unit" || fail "the unit does not restart on failure"
  grep -qx 'PartOf=graphical-session.target' "$unit" || fail "the unit is not part of the graphical session"
  grep -qx 'WantedBy=graphical-session.target' "$unit" || fail "enabling the unit does not tie it to the graphical session"
  mkdir -m 0700 "$work/run" "$work/verify"
  sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$work/verify/velmor.service"
  XDG_RUNTIME_DIR="$work/run" MANPATH="$root/usr/share/man" systemd-analyze --user verify "$work/verify/velmor.service" ||
    fail "systemd-analyze --user verify refuses the unit"
else
  fail "no systemd user unit"
fi

# Depends: every run-time package, and nothing only building or testing needs.
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
run_time="$("$source_dir/scripts/install-deps.sh" --list run)"
while IFS= read -r needed; do
  grep -qF -- "$needed" <<<"$depends" || fail "Depends lacks '$needed'"
done <<<"$run_time"
for package in $("$source_dir/scripts/install-deps.sh" --list build test); do
  grep -qE "(^|[ |])$package( |$)" <<<"$run_time" && continue  # the tests use a run-time package too
  grep -qE "(^|[ ,|])$package( |,|$)" <<<"$depends" && fail "Depends names '$package', needed only to build or test"
done
grep -qE -- '-dev( |,|$)' <<<"$depends" && fail "Depends names a development package"

# Installed with dpkg into an empty scratch system and removed again: nothing is left.
system="$work/system"
mkdir -p "$system/var/lib/dpkg/info" "$system/var/lib/dpkg/updates"
touch "$system/var/lib/dpkg/status"
dpkg_in_scratch=(dpkg --root="$system" --force-not-root --force-depends --force-script-chrootless --log=/dev/null)
if "${dpkg_in_scratch[@]}" -i "$deb" >"$work/dpkg.log" 2>&1; then
  [ -f "$system/usr/lib/systemd/user/velmor.service" ] || fail "dpkg -i did not install the unit"
  "${dpkg_in_scratch[@]}" -r velmor >>"$work/dpkg.log" 2>&1 || fail "dpkg -r failed: $(cat "$work/dpkg.log")"
  left="$(find "$system/usr" -type f 2>/dev/null)"
  [ -z "$left" ] || fail "removing the package left: $left"
else
  fail "dpkg -i into a scratch root failed: $(cat "$work/dpkg.log")"
fi

[ "$failures" -eq 0 ] && echo "The package holds what it should."
exit $((failures > 0))
