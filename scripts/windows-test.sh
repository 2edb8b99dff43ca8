#!/usr/bin/env bash
# Tests build-windows/bumpmap.exe (made by scripts/windows.sh) under Wine on a
# private Xvfb, with its own Wine prefix in build-windows/wine-test: at every state
# of tests/steps.txt, reached with the same keys as on the desktop, the window
# must show exactly the desktop program's pixels (scripts/desktop-frames.sh);
# Escape and closing the window must each end it with status 0, and it must
# print nothing. Exits 77, saying why, where this Debian has no Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

# Usage: scripts/windows-test.sh [setup]   (setup: only install Wine and the rest, and stop)
started=$SECONDS
exe=build-windows/bumpmap.exe
if ! scripts/install-deps.sh windows-test; then
    # A name other packages mention is known to apt-cache show even with no
    # package behind it: what counts is whether there is one to install.
    candidate=$(apt-cache policy wine 2>/dev/null | awk '/Candidate:/ { print $2 }')
    if [[ -z $candidate || $candidate == "(none)" ]]; then
        echo "windows-test: SKIPPED: this Debian has no wine package to run the exe with" >&2
        exit 77
    fi
    exit 1
fi
[[ ${1:-} != setup ]] || exit 0
[[ -f $exe ]] || { echo "windows-test: no $exe: run scripts/windows.sh first" >&2; exit 1; }

# The desktop program's frames, each reached with the real keys.
scripts/desktop-frames.sh

wine_started=$SECONDS
source scripts/x-session.sh
# A prefix of its own, apart from the one of scripts/windows.sh run: a Wine
# session belongs to the X display its first program opened, and waiting for
# it to end would wait for a demo still open on the user's display.
export WINEPREFIX=$PWD/build-windows/wine-test WINEDEBUG=-all
# No Mono or Gecko: the program needs neither, and Wine would ask for them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's server outlives its programs for a while; it goes with this script.
trap 'wineserver -k 2>/dev/null || true; stop_owned' EXIT
# What an interrupted run of this test left behind would draw on its old display.
wineserver -k 2>/dev/null || true
start_xvfb
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "windows-test: making the Wine prefix $WINEPREFIX (once)"
    wineboot --init >/dev/null 2>&1
fi
wineserver -w

out=build-windows/test
rm -rf "$out"
mkdir -p "$out"
failures=0
fail() {
    echo "windows-test: FAILED: $*" >&2
    failures=$((failures + 1))
}

# Starts the exe in the background: sets $program. Wine hands DISPLAY on into
# the Windows environment, where freeglut would take it for a device name and
# complain on stderr; the window still goes to the X display Wine uses.
start_program() {
    wine cmd /c "set DISPLAY=&& build-windows\\bumpmap.exe" >"$out/$1.stdout" 2>"$out/$1.stderr" &
    program=$!
    owned_pids+=("$program")
}

# Waits for the program to end; fails unless it ends with status 0 having
# printed nothing. The minute only bounds how long a failure takes to show, on
# a machine busy with other work.
expect_clean_exit() {
    local run=$1 status=0 _
    for _ in $(seq 600); do
        kill -0 "$program" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$program" 2>/dev/null; then
        fail "$run: still running 60 s later"
        return
    fi
    wait "$program" || status=$?
    ((status == 0)) || fail "$run: exit status $status, not 0"
    local stream
    for stream in stdout stderr; do
        [[ ! -s $out/$run.$stream ]] ||
            fail "$run: printed on $stream: $(head -c 300 "$out/$run.$stream")"
    done
}

# 1. Every state, pixel for pixel, then Escape.
start_program keys
open_window
printf '%-22s %s\n' state "pixels unlike the desktop's"
while read -r name keys; do
    [[ -z $name || $name == \#* ]] && continue
    # shellcheck disable=SC2086 # one word per key
    [[ -z $keys ]] || press_keys $keys
    capture_window "$out/$name.png"
    differing=$(pixels_unlike "$out/$name.png" "build-frames/$name.png" "$out/$name-diff.png")
    printf '%-22s %s\n' "$name" "$differing"
    [[ $differing == 0 ]] || fail "$name: $differing pixels differ (see $out/$name-diff.png)"
done <tests/steps.txt
xdotool key Escape
expect_clean_exit keys

# 2. Closed the way a window manager closes it: WM_DELETE_WINDOW.
start_program close
open_window
/usr/bin/python3 - "$window" <<'EOF'
# Sends WM_PROTOCOLS/WM_DELETE_WINDOW to the window, as a window manager does
# when its close button is clicked. Xlib through ctypes: no package needed.
import ctypes
import sys

xlib = ctypes.CDLL("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XInternAtom.restype = ctypes.c_ulong
xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                            ctypes.c_void_p]
xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                ("pad", ctypes.c_long * 24)]  # an XEvent is 24 longs


display = xlib.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
event = ClientMessage(type=33, window=int(sys.argv[1]), format=32)  # 33: ClientMessage
event.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", False)
event.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", False)
xlib.XSendEvent(display, int(sys.argv[1]), False, 0, ctypes.byref(event))
xlib.XSync(display, False)
EOF
expect_clean_exit close

echo "windows-test: $(wine --version); $((SECONDS - started)) s, of which" \
    "$((SECONDS - wine_started)) s under Wine, the rest installing and capturing the desktop frames"
if ((failures > 0)); then
    echo "windows-test: $failures check(s) failed" >&2
    exit 1
fi
echo "windows-test: every state pixel-identical to the desktop program's; Escape and closing the window each ended it with status 0, printing nothing"
