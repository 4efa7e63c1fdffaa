#!/usr/bin/env bash
# The window programs started as a user on a machine without a display
# starts them: --help and --version answer without one, a missing or
# unreachable display gives one clear line and exit status 1 (not Qt's
# abort), and QT_QPA_PLATFORM=offscreen draws the window.
#   window_programs_test.sh BIN_DIR WORK_DIR VERSION PROGRAM...
set -uo pipefail
bin=$1 work=$2 version=$3
shift 3
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"

# Runs PROGRAM ARGS... with no display of any kind; status, stdout and stderr into $work.
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$@" >"$work/out" 2>"$work/err"; echo $? >"$work/status"; }
status() { cat "$work/status"; }

for program in "$@"; do
    path=$bin/$program
    [[ -x $path ]] || fail "$program not built in $bin"

    headless "$path" --version
    [[ $(status) == 0 && $(cat "$work/out") == "$program $version" && ! -s $work/err ]] \
        || fail "$program --version: status $(status), '$(cat "$work/out")' '$(cat "$work/err")'"

    headless "$path" --help
    [[ $(status) == 0 && ! -s $work/err ]] || fail "$program --help: status $(status), $(cat "$work/err")"
    [[ $(head -1 "$work/out") == "Usage: $program [OPTIONS]" ]] || fail "$program --help: $(head -1 "$work/out")"
    [[ $(awk 'length > 79' "$work/out") == "" ]] || fail "$program --help has lines over 79 characters"
    for word in --screenshot --version QT_QPA_PLATFORM=offscreen xvfb-run; do
        grep -q -- "$word" "$work/out" || fail "$program --help does not mention $word"
    done

    # No display at all: one line, no window, no abort.
    headless "$path"
    [[ $(status) == 1 ]] || fail "$program without a display: status $(status) (134 is Qt's abort)"
    [[ $(wc -l <"$work/err") == 1 && ! -s $work/out ]] || fail "$program without a display said: $(cat "$work/err")"
    grep -q "^$program: no display .*QT_QPA_PLATFORM=offscreen" "$work/err" || fail "$program: $(cat "$work/err")"

    # A display that cannot be reached ends in the same way.
    unused=199
    while [[ -e /tmp/.X11-unix/X$unused ]]; do unused=$((unused + 1)); done
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:$unused timeout 20 "$path" >"$work/out" 2>"$work/err"
    code=$?
    [[ $code == 1 ]] || fail "$program on the unreachable display :$unused: status $code"
    [[ $(tail -1 "$work/err") == "$program: cannot open the display (DISPLAY=:$unused)"* ]] \
        || fail "$program on an unreachable display said: $(cat "$work/err")"

    # Offscreen it starts, draws and quits with --screenshot.
    QT_QPA_PLATFORM=offscreen timeout 60 "$path" --screenshot "$work/$program.png" >"$work/out" 2>"$work/err" \
        || fail "$program offscreen --screenshot: $(tail -5 "$work/err")"
    [[ $(head -c 8 "$work/$program.png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] \
        || fail "$program --screenshot wrote no PNG"
done
echo "window programs OK"
