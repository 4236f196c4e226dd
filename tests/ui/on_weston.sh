#!/usr/bin/env bash
# Runs a command on a Wayland desktop of its own: Weston in a window of the X
# display it is started on (xvfb-run), which gives it a seat with a keyboard
# and a pointer, on a private runtime folder; Qt on its wayland platform and no
# X display for the command. Programs that only speak X (Debian's notification daemon) get
# Weston's Xwayland display, named in QM_TEST_XWAYLAND_DISPLAY, as on a real
# Wayland desktop. Weston is stopped when the command ends, whatever its result.
#   on_weston.sh command [arguments...]
set -euo pipefail

runtime=$(mktemp -d)
chmod 700 "$runtime"
weston_pid=
cleanup() {
  if [ -n "$weston_pid" ]; then kill "$weston_pid" 2>/dev/null || true; wait "$weston_pid" 2>/dev/null || true; fi
  rm -rf "$runtime"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR=$runtime
weston --no-config --backend=x11-backend.so --use-pixman --socket=wayland-qm --idle-time=0 --xwayland \
  --log="$runtime/weston.log" &
weston_pid=$!
xdisplay=
for _ in $(seq 100); do
  xdisplay=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$runtime/weston.log" 2>/dev/null || true)
  [ -S "$runtime/wayland-qm" ] && [ -n "$xdisplay" ] && break
  sleep 0.1
done
if [ ! -S "$runtime/wayland-qm" ] || [ -z "$xdisplay" ]; then
  echo "on_weston.sh: Weston did not start" >&2
  cat "$runtime/weston.log" >&2 || true
  exit 1
fi
unset DISPLAY
export WAYLAND_DISPLAY=wayland-qm QT_QPA_PLATFORM=wayland QM_TEST_DESKTOP_PLATFORM=wayland
export QM_TEST_XWAYLAND_DISPLAY=$xdisplay
"$@"
