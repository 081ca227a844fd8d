#!/usr/bin/env bash
# Photographs the real top-level windows on real desktops: the main window
# with the real fly-screen page over real core objects (a dozen videos made
# by FFmpeg, a queue in every state, the LAN service on a loopback address)
# in its scenes, under Xvfb with openbox, a compositor and a tray, and under
# a headless weston with Qt's native Wayland client. Writes PNGs to a folder
# it prints.
#   scripts/lib/desktop-shot.sh [OUT_FOLDER] [x11|wayland]...
# Nothing leaves the machine: the demo's service runs on 127.84.0.x, its
# phones are its own, and the download dialog fetches from a server of this
# script on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
out=$(realpath -m "${1:-$root/build/desktop-shots}")
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(x11 wayland)

packages=(xvfb xauth openbox xcompmgr trayer x11-xserver-utils xdotool imagemagick
          weston qt6-wayland python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build >/dev/null
cmake --build build -j2 --target zorvex-window-demo >/dev/null
demo=$root/build/bin/zorvex-window-demo
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $2 tenths of a second for the command in $1 to succeed.
await() {
  local tries=$2
  until eval "$1" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || { echo "desktop-shot: timed out waiting for: $1" >&2; return 1; }
    sleep 0.1
  done
}

# An installer served slowly, so the download dialog is seen at work.
cat >"$work/slow_server.py" <<'EOF'
import http.server, sys, time
class Slow(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        size = 4 << 20
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if self.path != "/nolength.exe":
            self.send_header("Content-Length", str(size))
        self.end_headers()
        try:
            for _ in range(size // 65536):
                self.wfile.write(b"\0" * 65536)
                self.wfile.flush()
                time.sleep(0.15)
        except OSError:
            pass
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Slow)
print(server.server_address[1], flush=True)
server.serve_forever()
EOF
python3 "$work/slow_server.py" >"$work/port" &
pids+=($!)
await "test -s $work/port" 50
installer="http://127.0.0.1:$(cat "$work/port")/Setup.exe"

# The videos, thumbnails and finished conversion every scene starts from,
# made once; an empty home for the first start.
QT_QPA_PLATFORM=offscreen "$demo" --home "$work/home" --prepare >"$work/prepare.log" 2>&1 ||
  { cat "$work/prepare.log" >&2; exit 1; }
mkdir -p "$work/home-empty"
demo_home=$work/home

# run_demo LOG ARGS...: starts the demo and waits until its window shows the scene's content.
run_demo() {
  local log=$1
  shift
  "$demo" --home "$demo_home" "$@" >"$log" 2>&1 &
  demo_pid=$!
  await "grep -q '^window:' $log" 1200
}
stop_demo() {
  kill "$demo_pid" 2>/dev/null || true
  wait "$demo_pid" 2>/dev/null || true
}

# scene NAME SETTLE_TENTHS DEMO_ARGS...: one picture of one scene.
shots=()
x11_scene() {
  local name=$1 settle=$2
  shift 2
  run_demo "$work/$name.log" "$@"
  sleep "$((settle / 10)).$((settle % 10))"
  import -window root "$out/x11-$name.png"
  shots+=("x11-$name.png: $(grep -m1 '^window:' "$work/$name.log")")
  stop_demo
}

# How many windows named Zorvex助手 are shown.
visible_windows() {
  { xdotool search --onlyvisible --name 'Zorvex助手' 2>/dev/null || true; } | wc -l
}

shoot_x11() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  export DISPLAY=:$n XDG_RUNTIME_DIR=$work/xdg
  mkdir -m 700 -p "$XDG_RUNTIME_DIR"
  Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  await "xdotool getdisplaygeometry" 100
  xsetroot -solid '#5d6d7e'
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  xcompmgr >"$work/xcompmgr.log" 2>&1 &
  pids+=($!)
  trayer --edge bottom --align right --widthtype request --height 28 \
    --SetDockType true --transparent false >"$work/trayer.log" 2>&1 &
  pids+=($!)
  sleep 1
  export QT_QPA_PLATFORM=xcb
  x11_scene main 10 --phones 2
  demo_home=$work/home-empty x11_scene empty 10
  x11_scene convert 10 --scene convert
  x11_scene settings 10 --scene settings
  x11_scene menu 10 --scene menu
  x11_scene delete 10 --scene delete
  x11_scene checking 10 --scene checking
  x11_scene prompt 10 --scene prompt
  x11_scene toast 8 --scene toast
  x11_scene balloon 12 --scene balloon
  x11_scene latest 15 --scene check --check latest
  x11_scene download 20 --scene check --check "$installer"
  x11_scene download-nolength 20 --scene check --check "${installer%/*}/nolength.exe"
  x11_scene hidden 10 --scene hidden

  # Dragged by the empty part of the left menu, its shadow following.
  run_demo "$work/drag.log" --scene main
  local id x y
  id=$(xdotool search --onlyvisible --name 'Zorvex助手' | head -1)
  eval "$(xdotool getwindowgeometry --shell "$id")"
  x=$((X + 80)) y=$((Y + 400))
  xdotool mousemove $x $y mousedown 1 sleep 0.2 mousemove $((x + 40)) $((y + 20)) sleep 0.1 \
    mousemove $((x + 120)) $((y + 60)) sleep 0.2 mouseup 1
  sleep 0.5
  local before="$X,$Y"
  eval "$(xdotool getwindowgeometry --shell "$id")"
  import -window root "$out/x11-dragged.png"
  shots+=("x11-dragged.png: moved from $before to $X,$Y")

  # The tray icon's double-click hides the window; the next one shows it again.
  eval "$(xdotool getwindowgeometry --shell "$(xdotool search --classname '^panel$' | head -1)")"
  local tx=$((X + WIDTH / 2)) ty=$((Y + HEIGHT / 2))
  xdotool mousemove $tx $ty click --repeat 2 --delay 80 1
  sleep 0.8
  import -window root "$out/x11-tray-hidden.png"
  shots+=("x11-tray-hidden.png: visible windows: $(visible_windows)")
  xdotool mousemove $tx $ty click --repeat 2 --delay 80 1
  sleep 0.8
  import -window root "$out/x11-tray-shown.png"
  shots+=("x11-tray-shown.png: visible windows: $(visible_windows)")
  # Its menu, opened by a right click.
  xdotool mousemove $tx $ty click 3
  sleep 0.6
  import -window root "$out/x11-tray-menu.png"
  shots+=("x11-tray-menu.png")
  xdotool key Escape
  stop_demo
  unset DISPLAY
}

wayland_scene() {
  local name=$1 settle=$2
  shift 2
  run_demo "$work/wl-$name.log" "$@"
  sleep "$((settle / 10)).$((settle % 10))"
  (cd "$work" && rm -f wayland-screenshot-*.png && weston-screenshooter)
  mv "$work"/wayland-screenshot-*.png "$out/wayland-$name.png"
  shots+=("wayland-$name.png: $(grep -m1 '^window:' "$work/wl-$name.log")")
  stop_demo
}

shoot_wayland() {
  export XDG_RUNTIME_DIR=$work/xdg
  mkdir -m 700 -p "$XDG_RUNTIME_DIR"
  local socket=zorvex-shot-$$
  weston --backend=headless-backend.so --use-pixman --socket="$socket" --width=1280 \
    --height=800 --idle-time=0 --debug >"$work/weston.log" 2>&1 &
  pids+=($!)
  await "test -S $XDG_RUNTIME_DIR/$socket" 100
  sleep 1
  export WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland
  wayland_scene main 10 --phones 2
  demo_home=$work/home-empty wayland_scene empty 10
  wayland_scene convert 10 --scene convert
  wayland_scene settings 10 --scene settings
  wayland_scene menu 10 --scene menu
  wayland_scene delete 10 --scene delete
  wayland_scene checking 10 --scene checking
  wayland_scene prompt 10 --scene prompt
  wayland_scene toast 8 --scene toast
  wayland_scene latest 15 --scene check --check latest
  wayland_scene download 20 --scene check --check "$installer"
  wayland_scene hidden 10 --scene hidden
  unset WAYLAND_DISPLAY
}

for t in "${targets[@]}"; do
  rm -f "$out/$t-"*.png
  case $t in
    x11) shoot_x11 ;;
    wayland) shoot_wayland ;;
    *) echo "desktop-shot: unknown target $t" >&2; exit 2 ;;
  esac
done
printf '%s\n' "${shots[@]}"
echo "desktop-shot: pictures in $out"
