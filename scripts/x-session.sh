# Sourced by scripts that drive the real bumpmap window: a private Xvfb, the
# window's id, keys through XTEST, waiting for frames and comparing them.
# start_xvfb needs only xvfb; the rest also xdotool and imagemagick.

# Processes started here; killed, by id, when the sourcing script exits, last
# started first so that no client sees its X server go.
owned_pids=()
stop_owned() {
    local i
    for ((i = ${#owned_pids[@]} - 1; i >= 0; i--)); do
        kill "${owned_pids[i]}" 2>/dev/null || true
    done
}
trap stop_owned EXIT

# Starts Xvfb on the first free display and exports DISPLAY for it.
start_xvfb() {
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" 2>/dev/null &
    owned_pids+=($!)
    # Generous, for a busy machine: it only bounds how long a failure takes.
    for _ in $(seq 600); do
        [[ -s $number_file ]] && break
        sleep 0.1
    done
    [[ -s $number_file ]] || { echo "Xvfb did not start" >&2; return 1; }
    DISPLAY=":$(head -n1 "$number_file")"
    export DISPLAY
    rm -f "$number_file"
}

# Prints the id of the mapped "Bump mapping" window, once there is one. Looks
# again until then rather than waiting in one search: a search dies on an X
# error when a window it is looking at goes away meanwhile, as the windows of
# Wine's start-up do.
window_id() {
    local id deadline=$((SECONDS + ${1:-60}))
    while ((SECONDS < deadline)); do
        id=$(xdotool search --onlyvisible --name '^Bump mapping$' 2>/dev/null | head -n1) || true
        [[ -z $id ]] || { echo "$id"; return 0; }
        sleep 0.2
    done
    echo "no bumpmap window within ${1:-60} s" >&2
    return 1
}

# There is no window manager: keys go to the focused window, and the pointer
# over it keeps them there.
focus_window() {
    xdotool mousemove --window "$1" 20 20
    xdotool windowfocus --sync "$1"
}

# Waits for the program's window and its first frame, and gives it the keyboard:
# sets $window and $frame. Waits up to $1 seconds for each (default 60).
# A window found can be gone by the time it is focused (Wine's of a program
# that has just ended, or one Wine replaces): then it looks again.
open_window() {
    local try
    for try in 1 2 3; do
        window=$(window_id "${1:-60}") || return 1
        focus_window "$window" 2>/dev/null && break
        ((try < 3)) || { echo "window $window went before it could be focused" >&2; return 1; }
        sleep 1
    done
    frame=$(wait_for_first_frame "$window" "${1:-60}")
}

# Presses the keys in $window one at a time, each once the frame of the one
# before has arrived; every key must change the picture. The last frame is then
# the one the keys lead to, however long a busy machine keeps the program
# waiting between two frames, which a wait for the picture to stop changing
# could mistake for the end. Waits up to $frame_timeout seconds (default 60)
# for each frame.
press_keys() {
    local key
    for key in "$@"; do
        xdotool key "$key"
        frame=$(wait_for_new_frame "$window" "$frame" "${frame_timeout:-60}") || return 1
    done
}

# Saves what $window shows as the PNG $1. Without the date chunks, the same
# picture makes the same file.
capture_window() {
    import -window "$window" -define png:exclude-chunks=date,time "png:$1"
}

# A checksum of what the window shows now.
picture_sum() {
    local sum
    sum=$(import -window "$1" rgb:- 2>/dev/null | md5sum) ||
        { echo "cannot capture window $1" >&2; return 1; }
    echo "${sum%% *}"
}

# Waits until the window shows a drawn frame rather than a blank window, then
# prints its checksum. Gives up after $2 seconds (default 60).
wait_for_first_frame() {
    local window=$1 deadline=$((SECONDS + ${2:-60}))
    while ((SECONDS < deadline)); do
        if (($(import -window "$window" -format '%k' info: 2>/dev/null || echo 0) > 1)); then
            picture_sum "$window"
            return 0
        fi
        sleep 0.2
    done
    echo "no frame within ${2:-60} s" >&2
    return 1
}

# Waits until the window shows something other than the picture with checksum
# $2, then prints the new checksum. Gives up after $3 seconds (default 60).
wait_for_new_frame() {
    local window=$1 previous=$2 deadline=$((SECONDS + ${3:-60})) sum
    while ((SECONDS < deadline)); do
        sum=$(picture_sum "$window")
        if [[ $sum != "$previous" ]]; then
            echo "$sum"
            return 0
        fi
        sleep 0.1
    done
    echo "no new frame within ${3:-60} s" >&2
    return 1
}

# Waits until the picture has stopped changing: the same checksum three times
# in a row, so a frame still on its way after a burst of keys is not taken.
wait_for_still_frame() {
    local window=$1 deadline=$((SECONDS + ${2:-60})) sum previous='' same=0
    while ((SECONDS < deadline)); do
        sum=$(picture_sum "$window")
        if [[ $sum == "$previous" ]]; then
            ((++same >= 2)) && { echo "$sum"; return 0; }
        else
            same=0
        fi
        previous=$sum
        sleep 0.1
    done
    echo "the picture kept changing for ${2:-60} s" >&2
    return 1
}

# Prints how many pixels of the PNGs $1 and $2 differ (ImageMagick's AE), and
# saves where they differ as $3 if given. ImageMagick 6 prints the count alone,
# 7 adds the normalised figure after it.
pixels_unlike() {
    local count
    count=$(compare -metric AE "$1" "$2" "${3:-null:}" 2>&1) || true
    echo "${count%% *}"
}

# Reaches the states of tests/steps.txt in turn, up to and including $2, in
# $window, key by key (press_keys). Saves each state as $1/NAME.png and prints,
# after $3, how many of its pixels differ from the desktop program's frame in
# build-frames/ (scripts/desktop-frames.sh). Fails if any pixel does.
compare_states_key_by_key() {
    local frames=$1 last=$2 name keys pixels different=0
    rm -rf "$frames"
    mkdir -p "$frames"
    while read -r name keys; do
        [[ -z $name || $name == \#* ]] && continue
        # shellcheck disable=SC2086 # one word per key
        frame_timeout=120 press_keys $keys || return 1
        capture_window "$frames/$name.png"
        pixels=$(pixels_unlike "build-frames/$name.png" "$frames/$name.png")
        echo "$3: $name: $pixels pixels differ from the native program's"
        [[ $pixels == 0 ]] || different=$((different + 1))
        [[ $name != "$last" ]] || break
    done <tests/steps.txt
    ((different == 0))
}
