#!/usr/bin/env bash
# Runs one end-to-end case: the real tolm in a private tmux server, driven by keys, judged by
# what the pane shows, how the program ended and what is left in the file.
#
# Usage: run_case.sh TOLM CASE_DIR
#
# A case folder holds, all optional:
#   setup     bash script (run with -eu) in a fresh scratch folder, the program's working folder
#   args      the command line after the program name, one argument per line; an empty line is
#             an empty argument, a missing or empty file means no argument
#   size      COLSxROWS of the terminal, 80x25 when absent
#   user      run the program as this user when the runner is root, so that file permissions
#             bind as they do for anyone else (as another user, the runner's own account is used)
#   keys      tmux key names, one per line (4, Right, M-s, Escape), sent once the program reads
#             the keyboard; each Escape is followed by a pause so it is not read as an Alt prefix
#   status    the expected exit status; the runner waits for the program to end
#   screen    the expected pane text, trailing blanks ignored
#   screen.e  the pane with colours: each row as `capture-pane -e -N` gives it, ESC written as
#             \e and the row closed by a |
#   out.hex   the bytes of the file afterwards, as `od -An -tx1` prints them
#   file      which file out.hex is about; by default the one file the setup made
#   check     bash script (run with -eu) in the scratch folder at the end; failing it fails the case
# With a status or an out.hex the screens are those left after the program ended; without, the
# screens are polled until they match while the program keeps running. A polled screen passes as
# soon as it shows, so it must differ from what was shown before the last key took effect.
#
# Exit status: 0 passed, 1 failed, 77 skipped. TOLM_E2E_TIMEOUT (seconds, default 15) bounds
# the whole run so that a hang fails the case instead of blocking.
set -u

if [[ $# -ne 2 ]]; then
    echo "usage: $0 TOLM CASE_DIR" >&2
    exit 1
fi
tolm=$(realpath -- "$1")
case_dir=$(realpath -- "$2")
deadline=$((SECONDS + ${TOLM_E2E_TIMEOUT:-15}))
esc_pause=0.2
failed=0

# The same results whatever the caller's environment: CI has no terminal and maybe no locale.
export LC_ALL=C.UTF-8
unset TMUX TMUX_PANE

command -v tmux >/dev/null || { echo "FAIL: tmux is not installed" >&2; exit 1; }
[[ -x $tolm ]] || { echo "FAIL: no program at $tolm" >&2; exit 1; }
[[ -d $case_dir ]] || { echo "FAIL: no case folder $case_dir" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolm-e2e.XXXXXX") || exit 1
work=$scratch/work
mkdir "$work"
# A private tmux server per run, so that parallel cases never meet. Its socket lives in the scratch
# folder: tmux leaves the socket behind when its server is killed.
tmx() { tmux -S "$scratch/tmux" -f /dev/null "$@"; }

cleanup() {
    tmx kill-server 2>/dev/null
    chmod -R u+w "$scratch" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*"
    failed=1
}

# Stops the run with a failure once the deadline has passed; $1 says what was awaited.
check_deadline() {
    if ((SECONDS >= deadline)); then
        fail "timed out waiting for $1"
        report_screen
        exit 1
    fi
}

# Pane text with trailing blanks and trailing empty lines removed, so that expectations need not
# carry the padding of the terminal.
trim() {
    sed 's/[[:space:]]*$//' | awk '{ line[NR] = $0; if ($0 != "") last = NR }
                                   END { for (i = 1; i <= last; i++) print line[i] }'
}

capture_plain() { tmx capture-pane -p -t e2e | trim; }
# One capture per row, so that each row carries its own colours instead of inheriting those the
# row above ended with; -N and the closing | keep coloured blanks at the end of a row visible.
capture_colour() {
    local row commands=()
    for ((row = 0; row < rows; row++)); do
        commands+=(capture-pane -p -e -N -t e2e -S "$row" -E "$row" \;)
    done
    tmx "${commands[@]}" | sed 's/\x1b/\\e/g; s/$/|/'
}

# od's own spacing is not the point; its lines and bytes are.
normalise_hex() { sed 's/^[[:space:]]*//' | trim; }

pane() { tmx display-message -p -t e2e "$1"; }
# The wrapper announces the end in the pane's title, which tmux takes in only after everything the
# program wrote before it.
exit_status() {
    local title
    title=$(pane '#{pane_title}')
    [[ $title == tolm-e2e-exit:* ]] && echo "${title#*:}"
}
pane_ended() { [[ -n $(exit_status) ]]; }

report_screen() {
    echo "--- pane at the time ($(pane 'alternate screen #{alternate_on}')):"
    capture_plain
    echo "---"
}

# --- the scratch folder and the command line

if [[ -f $case_dir/setup ]]; then
    if ! (cd "$work" && bash -eu "$case_dir/setup"); then
        echo "FAIL: the case's setup failed"
        exit 1
    fi
fi
# The file out.hex is about is fixed before the program can create any of its own.
mapfile -t setup_files < <(cd "$work" && find . -type f | sed 's|^\./||')

args=()
[[ -f $case_dir/args ]] && mapfile -t args <"$case_dir/args"

size=80x25
[[ -f $case_dir/size ]] && size=$(<"$case_dir/size")
if [[ ! $size =~ ^([0-9]+)x([0-9]+)$ ]]; then
    echo "FAIL: size must be COLSxROWS, not '$size'"
    exit 1
fi
cols=${BASH_REMATCH[1]}
rows=${BASH_REMATCH[2]}

launch=()
if [[ -f $case_dir/user && $(id -u) == 0 ]]; then
    user=$(<"$case_dir/user")
    if ! command -v setpriv >/dev/null; then
        echo "SKIP: setpriv is needed to run the program as '$user'"
        exit 77
    fi
    if ! uid=$(id -u "$user") || ! gid=$(id -g "$user"); then
        echo "FAIL: no user '$user'"
        exit 1
    fi
    # A copy the user can surely reach, wherever the build tree lies.
    install -m 755 "$tolm" "$scratch/tolm"
    tolm=$scratch/tolm
    chmod 755 "$scratch" "$work"
    launch=(setpriv --reuid="$uid" --regid="$gid" --clear-groups --)
fi

# --- the run

# The program runs under a wrapper that reports its exit status through the pane's title and then
# keeps the terminal open. Letting the pane die instead would race: tmux 3.3a sometimes drops the
# last output of a pane whose terminal closes, and sometimes never reaps its process, so neither
# the text nor #{pane_dead_status} could be trusted. remain-on-exit (without tmux's notice) only
# keeps the text should the wrapper itself die. Given several words, tmux runs the wrapper
# directly, so empty and blank-holding arguments stay as they are.
wrapper='"$@"; printf "\033]2;tolm-e2e-exit:%d\a" "$?"; exec sleep infinity'
tmx set-option -g remain-on-exit on \; \
    set-option -gq remain-on-exit-format '' \; \
    set-option -g status off \; \
    new-session -d -s e2e -x "$cols" -y "$rows" -c "$work" -- \
    bash -c "$wrapper" tolm-e2e "${launch[@]}" "$tolm" "${args[@]}" ||
    { echo "FAIL: tmux could not start the program"; exit 1; }

# Keys typed before curses has taken the terminal out of line mode would be echoed and buffered
# by the terminal driver, and the blank pane of a program not yet started could pass for an
# expected screen: so first wait until it has (or the program is gone).
tty=$(pane '#{pane_tty}')
until pane_ended || stty -a -F "$tty" 2>/dev/null | grep -q -- '-icanon'; do
    check_deadline "the program to read the keyboard"
    sleep 0.02
done

if [[ -s $case_dir/keys ]]; then
    while IFS= read -r key || [[ -n $key ]]; do
        [[ -z $key ]] && continue
        tmx send-keys -t e2e -- "$key" 2>/dev/null
        [[ $key == Escape ]] && sleep "$esc_pause"
    done <"$case_dir/keys"
fi

wait_for_end=0
[[ -f $case_dir/status || -f $case_dir/out.hex ]] && wait_for_end=1
if ((wait_for_end)); then
    until pane_ended; do
        check_deadline "the program to end"
        sleep 0.05
    done
fi

# --- the checks

# Compares the capture made by $2 with the expectation in file $1; while the program runs the
# capture is retried until it matches or the time is up.
compare_screen() {
    local name=$1 capture=$2 expected actual
    local final=$wait_for_end
    expected=$(trim <"$case_dir/$name")
    while true; do
        # Decided before the capture, so that the last capture shows the final state.
        if ((!final)) && { pane_ended || ((SECONDS >= deadline)); }; then
            final=1
        fi
        actual=$($capture)
        [[ $actual == "$expected" ]] && return 0
        ((final)) && break
        sleep 0.05
    done
    fail "$name differs (- expected, + actual):"
    diff -u --label expected --label actual <(printf '%s\n' "$expected") <(printf '%s\n' "$actual")
}

[[ -f $case_dir/screen ]] && compare_screen screen capture_plain
[[ -f $case_dir/screen.e ]] && compare_screen screen.e capture_colour

if [[ -f $case_dir/status ]]; then
    expected=$(tr -d '[:space:]' <"$case_dir/status")
    actual=$(exit_status)
    if [[ $actual != "$expected" ]]; then
        ((actual > 128)) && actual+=" (killed by signal $((actual - 128))?)"
        fail "exit status $actual, expected $expected"
        report_screen
    fi
fi

if [[ -f $case_dir/out.hex ]]; then
    if [[ -f $case_dir/file ]]; then
        target=$(<"$case_dir/file")
    elif ((${#setup_files[@]} == 1)); then
        target=${setup_files[0]}
    else
        echo "FAIL: out.hex needs a 'file' entry: the setup made ${#setup_files[@]} files"
        exit 1
    fi
    if [[ ! -f $work/$target ]]; then
        fail "'$target' is gone"
    else
        expected=$(normalise_hex <"$case_dir/out.hex")
        actual=$(od -An -tx1 -- "$work/$target" | normalise_hex)
        if [[ $actual != "$expected" ]]; then
            fail "bytes of '$target' differ (- expected, + actual):"
            diff -u --label expected --label actual <(printf '%s\n' "$expected") \
                <(printf '%s\n' "$actual")
        fi
    fi
fi

if [[ -f $case_dir/check ]]; then
    if ! (cd "$work" && bash -eu "$case_dir/check"); then
        fail "the case's check failed"
    fi
fi

if ((failed)); then
    echo "case ${case_dir##*/} FAILED"
    exit 1
fi
echo "case ${case_dir##*/} passed"
