#!/usr/bin/env bash
# Runs one end-to-end case: the real tolm in a private tmux server, driven by keys, judged by
# what the pane shows, how the program ended and what is left in the file.
#
# Usage: run_case.sh TOLM CASE_DIR
#
# A case folder holds, all optional:
#   setup     bash script (run with -eu) in a fresh scratch folder, the program's working folder;
#             ending with status 77 skips the case (say why on standard output)
#   args      the command line after the program name, one argument per line; an empty line is
#             an empty argument and an empty file no argument at all; data.bin when absent
#   wrap      a command to run the program under (valgrind and its options), one word per line
#   size      COLSxROWS of the terminal, 80x25 when absent
#   user      run the program as this user when the runner is root, so that file permissions
#             bind as they do for anyone else (as another user, the runner's own account is used)
#   keys      tmux key names, one per line (4, Right, M-s, Escape), sent once the program reads
#             the keyboard; each Escape is followed by a pause so it is not read as an Alt prefix.
#             A line of the form `@step argument` is a step of the run instead of a key:
#               @screen FILE  wait until the pane shows FILE of the case folder, compared as
#                             screen is (as screen.roles is when FILE ends in .roles)
#               @wait TEXT    wait until TEXT shows somewhere in the pane
#               @cursor X Y   wait until the terminal's cursor stands in column X of row Y
#               @within MS TEXT  wait until TEXT shows, at most MS milliseconds after the last
#                             key was sent
#               @run COMMAND  run COMMAND with bash -eu in the scratch folder; it must succeed
#             A step that fails ends the case. Waiting keeps the keys in step with a program that
#             is slow (valgrind, a long search) and lets a case check the screens along the way.
#   status    the expected exit status; the runner waits for the program to end
#   screen    the expected pane text, trailing blanks ignored
#   screen.roles  the pane with colours: each row's text, trailing blanks ignored, followed by
#             a row of one letter per cell naming its look (the table is in roles.awk)
#   out.hex   the bytes of the file afterwards, as `od -An -tx1` prints them
#   file      which file out.hex is about; by default the one file the setup made
#   check     bash script (run with -eu) in the scratch folder at the end; failing it fails the case
#   timeout   seconds the run may take, for a case slow by nature (see TOLM_E2E_TIMEOUT below)
# With a status or an out.hex the screens are those left after the program ended; without, the
# screens are polled until they match while the program keeps running. A polled screen passes as
# soon as it shows, so it must differ from what was shown before the last key took effect.
# The @run commands and the check find the program's process id in E2E_PID and the private tmux
# server in E2E_TMUX (tmux -S "$E2E_TMUX" kill-server closes the program's terminal).
# The setup, the check and the @run commands can write an input shared by several cases with
# `fixture NAME`, which prints the bytes made by the script NAME of the fixtures folder, and can
# serve a file through storage that misbehaves with `faulty_mount BACKING [OPTIONS]`: it mounts
# faulty_fs.py (which tells the options) at mnt/, showing BACKING as mnt/data.bin, and skips the
# case where FUSE cannot be used. Whatever a case mounted in its folder is unmounted at the end,
# and every loop device over a file in it is detached.
# Expected screens shared by several cases lie in the expected folder; a case links to them.
#
# Every case also checks that a program that ended left the terminal in line mode with echo and
# off the alternate screen, and that the program ends once its terminal is gone: the runner closes
# the terminal last, and kills a program still running 2 s later.
#
# Exit status: 0 passed, 1 failed, 77 skipped. TOLM_E2E_TIMEOUT (seconds, default 15) bounds
# the whole run so that a hang fails the case instead of blocking; a case's timeout file raises
# the bound for that case.
set -u

if [[ $# -ne 2 ]]; then
    echo "usage: $0 TOLM CASE_DIR" >&2
    exit 1
fi
tolm=$(realpath -- "$1")
runner_dir=$(dirname -- "$(realpath -- "${BASH_SOURCE[0]}")")
case_dir=$(realpath -- "$2")
esc_pause=0.2
failed=0

# The same results whatever the caller's environment: CI has no terminal and maybe no locale.
export LC_ALL=C.UTF-8
unset TMUX TMUX_PANE

command -v tmux >/dev/null || { echo "FAIL: tmux is not installed" >&2; exit 1; }
[[ -x $tolm ]] || { echo "FAIL: no program at $tolm" >&2; exit 1; }
[[ -d $case_dir ]] || { echo "FAIL: no case folder $case_dir" >&2; exit 1; }

timeout=${TOLM_E2E_TIMEOUT:-15}
if [[ -f $case_dir/timeout ]]; then
    case_timeout=$(tr -d '[:space:]' <"$case_dir/timeout")
    [[ $case_timeout =~ ^[0-9]+$ ]] || { echo "FAIL: timeout must be seconds"; exit 1; }
    ((case_timeout > timeout)) && timeout=$case_timeout
fi
deadline=$((SECONDS + timeout))

export E2E_FIXTURES=$runner_dir/fixtures
fixture() { bash -eu "$E2E_FIXTURES/$1"; }
export -f fixture
export E2E_FAULTY_FS=$runner_dir/faulty_fs.py
faulty_mount() {
    if [[ $(id -u) != 0 || ! -c /dev/fuse ]]; then
        echo "a FUSE file system needs root and /dev/fuse"
        exit 77
    fi
    /usr/bin/python3 -c 'import fusepy' 2>/dev/null || { echo "python3-fusepy is not installed"; exit 77; }
    mkdir -p mnt
    /usr/bin/python3 "$E2E_FAULTY_FS" "$@" mnt </dev/null >faulty_fs.log 2>&1 &
    for _ in {1..100}; do
        [[ -f mnt/data.bin ]] && return 0
        sleep 0.05
    done
    echo "the file system did not come up:"
    cat faulty_fs.log
    exit 1
}
export -f faulty_mount

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolm-e2e.XXXXXX") || exit 1
work=$scratch/work
mkdir "$work"
# A private tmux server per run, so that parallel cases never meet. Its socket lives in the scratch
# folder: tmux leaves the socket behind when its server is killed.
tmx() { tmux -S "$scratch/tmux" -f /dev/null "$@"; }

# The program's process, known once it runs; its start time tells it from a later process that
# happens to get the same id.
program_pid=
program_start=
# Field $2 of /proc/PID/stat counted from the state (1), which follows the parenthesised name.
proc_field() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d ' ' -f "$2"; }
program_running() {
    [[ -n $program_pid ]] || return 1
    local state
    state=$(proc_field "$program_pid" 1)
    [[ -n $state && $state != [ZX] && $(proc_field "$program_pid" 20) == "$program_start" ]]
}

cleanup() {
    tmx kill-server 2>/dev/null
    program_running && kill -KILL "$program_pid" 2>/dev/null
    awk -v top="$scratch/" 'index($2, top) == 1 { print $2 }' /proc/mounts | sort -r | xargs -r -n 1 umount -l
    losetup --list --noheadings --output NAME,BACK-FILE 2>/dev/null |
        awk -v top="$scratch/" 'index($2, top) == 1 { print $1 }' | xargs -r -n 1 losetup --detach
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
# Each text row followed by the letters of its cells' looks; -N keeps coloured blanks at the end
# of a row, and cells past what tmux holds of a row show the terminal's own colours.
capture_roles() {
    tmx capture-pane -p -e -N -t e2e |
        LC_ALL=C awk -v width="$(pane '#{pane_width}')" -f "$runner_dir/roles.awk" | trim
}

# od's own spacing is not the point; its lines and bytes are.
normalise_hex() { sed 's/^[[:space:]]*//' | trim; }

pane() { tmx display-message -p -t e2e "$1"; }
# The wrapper announces the end in the pane's title, which tmux takes in only after everything the
# program wrote before it.
exit_status() {
    local title
    title=$(pane '#{pane_title}' 2>/dev/null)
    [[ $title == tolm-e2e-exit:* ]] && echo "${title#*:}"
}
pane_ended() { [[ -n $(exit_status) ]]; }

report_screen() {
    echo "--- pane at the time ($(pane 'alternate screen #{alternate_on}' 2>/dev/null)):"
    capture_plain 2>/dev/null
    echo "---"
}

# Compares the capture made by $2 with the expectation in file $1 of the case folder. While the
# program runs, and always with $3 set, the capture is retried until it matches or the time is up.
# Returns 1 when it never matched.
compare_screen() {
    local name=$1 capture=$2 final=$wait_for_end expected actual
    [[ -n ${3:-} ]] && final=0
    if [[ ! -f $case_dir/$name ]]; then
        fail "no file $name in the case folder"
        return 1
    fi
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
    return 1
}

# Waits until the command $2... succeeds, polling; $1 says what is awaited. Returns 1 when the
# time ran out or the program ended first.
await() {
    local what=$1
    shift
    until "$@"; do
        if pane_ended || ((SECONDS >= deadline)); then
            "$@" && return 0
            fail "gave up waiting for $what"
            report_screen
            return 1
        fi
        sleep 0.05
    done
}

pane_has_text() { [[ $(capture_plain) == *"$1"* ]]; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
last_key_ms=$(now_ms)

# Polls for TEXT ($2) every 10 ms, failing once more than $1 milliseconds have passed since the
# last key was sent.
await_within() {
    local limit=$1 text=$2
    until pane_has_text "$text"; do
        if (($(now_ms) - last_key_ms > limit)); then
            pane_has_text "$text" && return 0
            fail "'$text' did not show within $limit ms of the last key"
            report_screen
            return 1
        fi
        sleep 0.01
    done
}
cursor_at() { [[ $(pane '#{cursor_x} #{cursor_y}') == "$1" ]]; }

# Carries out one @step line of the keys. Returns 1 when the step failed.
run_step() {
    local step=${1%% *} argument=${1#* }
    case $step in
    @screen)
        local capture=capture_plain
        [[ $argument == *.roles ]] && capture=capture_roles
        compare_screen "$argument" "$capture" poll
        ;;
    @wait) await "'$argument'" pane_has_text "$argument" ;;
    @cursor) await "the cursor at column and row $argument" cursor_at "$argument" ;;
    @within) await_within "${argument%% *}" "${argument#* }" ;;
    @run)
        (cd "$work" && bash -eu -c "$argument" </dev/null) && return 0
        fail "step '$1' failed"
        return 1
        ;;
    *)
        fail "unknown step '$1'"
        return 1
        ;;
    esac
}

# --- the scratch folder and the command line

if [[ -f $case_dir/setup ]]; then
    (cd "$work" && bash -eu "$case_dir/setup")
    setup_status=$?
    if ((setup_status == 77)); then
        echo "SKIP: the case's setup skipped it"
        exit 77
    elif ((setup_status != 0)); then
        echo "FAIL: the case's setup failed"
        exit 1
    fi
fi
# The file out.hex is about is fixed before the program can create any of its own.
mapfile -t setup_files < <(cd "$work" && find . -type f | sed 's|^\./||')

args=(data.bin)
[[ -f $case_dir/args ]] && mapfile -t args <"$case_dir/args"
wrap=()
[[ -f $case_dir/wrap ]] && mapfile -t wrap <"$case_dir/wrap"

size=80x25
[[ -f $case_dir/size ]] && size=$(<"$case_dir/size")
if [[ ! $size =~ ^([0-9]+)x([0-9]+)$ ]]; then
    echo "FAIL: size must be COLSxROWS, not '$size'"
    exit 1
fi
cols=${BASH_REMATCH[1]}
rows=${BASH_REMATCH[2]}

wait_for_end=0
[[ -f $case_dir/status || -f $case_dir/out.hex ]] && wait_for_end=1

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
# directly, so empty and blank-holding arguments stay as they are. The subshell writes its process
# id into the file named by $0 before it becomes the program, so that id is the program's.
wrapper='( echo "$BASHPID" >"$0"; exec "$@" ); printf "\033]2;tolm-e2e-exit:%d\a" "$?"
exec sleep infinity'
tmx set-option -g remain-on-exit on \; \
    set-option -gq remain-on-exit-format '' \; \
    set-option -g status off \; \
    new-session -d -s e2e -x "$cols" -y "$rows" -c "$work" -- \
    bash -c "$wrapper" "$scratch/pid" "${launch[@]}" "${wrap[@]}" "$tolm" "${args[@]}" ||
    { echo "FAIL: tmux could not start the program"; exit 1; }

# Keys typed before curses has taken the terminal out of line mode would be echoed and buffered
# by the terminal driver, and the blank pane of a program not yet started could pass for an
# expected screen: so first wait until it has (or the program is gone).
tty=$(pane '#{pane_tty}')
until pane_ended || stty -a -F "$tty" 2>/dev/null | grep -q -- '-icanon'; do
    check_deadline "the program to read the keyboard"
    sleep 0.02
done
until [[ -s $scratch/pid ]]; do
    check_deadline "the program's process id"
    sleep 0.02
done
program_pid=$(<"$scratch/pid")
program_start=$(proc_field "$program_pid" 20)
export E2E_PID=$program_pid E2E_TMUX=$scratch/tmux

if [[ -s $case_dir/keys ]]; then
    while IFS= read -r key || [[ -n $key ]]; do
        [[ -z $key ]] && continue
        if [[ $key =~ ^@[a-z]+\  ]]; then
            run_step "$key" || { echo "case ${case_dir##*/} FAILED"; exit 1; }
            continue
        fi
        tmx send-keys -t e2e -- "$key" 2>/dev/null
        last_key_ms=$(now_ms)
        [[ $key == Escape ]] && sleep "$esc_pause"
    done <"$case_dir/keys"
fi

if ((wait_for_end)); then
    until pane_ended; do
        check_deadline "the program to end"
        sleep 0.05
    done
fi

# --- the checks

[[ -f $case_dir/screen ]] && compare_screen screen capture_plain
[[ -f $case_dir/screen.roles ]] && compare_screen screen.roles capture_roles

if [[ -f $case_dir/status ]]; then
    expected=$(tr -d '[:space:]' <"$case_dir/status")
    actual=$(exit_status)
    if [[ $actual != "$expected" ]]; then
        ((actual > 128)) && actual+=" (killed by signal $((actual - 128))?)"
        fail "exit status $actual, expected $expected"
        report_screen
    fi
fi

# Curses restores the terminal when the program ends; a program that forgets leaves the shell
# without echo, or the user's screen hidden behind the alternate one.
if pane_ended; then
    modes=" $(stty -a -F "$tty" 2>/dev/null | tr -s ';\n' '  ') "
    [[ $modes == *" icanon "* && $modes == *" echo "* ]] ||
        fail "the program left the terminal out of line mode or without echo"
    [[ $(pane '#{alternate_on}') == 0 ]] || fail "the program left the terminal on the alternate screen"
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
    if ! (cd "$work" && bash -eu "$case_dir/check" </dev/null); then
        fail "the case's check failed"
    fi
fi

# The program's terminal closes; whatever the program was doing, it must end.
tmx kill-server 2>/dev/null
for ((i = 0; i < 40; i++)); do
    program_running || break
    sleep 0.05
done
if program_running; then
    fail "the program still runs 2 s after its terminal closed; killing it"
    kill -KILL "$program_pid" 2>/dev/null
fi

if ((failed)); then
    echo "case ${case_dir##*/} FAILED"
    exit 1
fi
echo "case ${case_dir##*/} passed"
