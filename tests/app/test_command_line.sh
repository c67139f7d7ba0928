#!/usr/bin/env bash
# The real program from the shell: every outcome of /upgrade and /restore with its exit code,
# what the folder holds afterwards, the log and standard error. It runs without a display,
# so a /quiet run that tried to show a window or a box would fail instead.
#   tests/app/test_command_line.sh PATH/TO/orvalis-upgrade
set -u
program=$1
tmp=$(mktemp -d)
holder=
trap '[[ -n $holder ]] && kill "$holder" 2>/dev/null; rm -rf "$tmp"' EXIT
fails=0
fail() { echo "FAIL: $*"; sed 's/^/  stderr: /' "$tmp/err"; fails=$((fails + 1)); }

# An application folder with the program and "Orvalis.exe" ("old"), and "saved/Orvalis.ugx" ("new").
layout() {
    rm -rf "$tmp/app" "$tmp/saved" "$tmp/log"
    mkdir -p "$tmp/app" "$tmp/saved"
    cp "$program" "$tmp/app/orvalis-upgrade"
    printf 'old' >"$tmp/app/Orvalis.exe"
    printf 'new' >"$tmp/saved/Orvalis.ugx"
}
# expect CODE ARGS...: runs the program from $tmp with ARGS and checks its exit code.
expect() {
    local want=$1
    shift
    (cd "$tmp" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM app/orvalis-upgrade "$@") \
        >"$tmp/out" 2>"$tmp/err"
    local got=$?
    [[ $got == "$want" ]] || fail "$* exited with $got, not $want"
}
# holds "EXE OLD": the contents of Orvalis.exe and Orvalis.old ("-" for missing), and nothing else.
holds() {
    local got=""
    for name in Orvalis.exe Orvalis.old; do
        if [[ -e $tmp/app/$name ]]; then got+="$(cat "$tmp/app/$name") "; else got+="- "; fi
    done
    [[ "${got% }" == "$1" ]] || fail "after '$2' the folder holds '${got% }', not '$1'"
    local others
    others=$(ls -A "$tmp/app" | grep -vxE 'orvalis-upgrade|Orvalis\.exe|Orvalis\.old')
    [[ -z $others ]] || fail "after '$2' left over: $others"
}

# Wrong command lines change nothing, whatever else they ask.
layout
for args in "/bogus /quiet" "/upgrade /quiet" "/quiet /upgrade" "/upgrade saved /restore /quiet" "/quiet" \
    "stray /quiet" "/restore /restore /quiet" "/? /quiet" "/restore /quiet /log $tmp/no/such/folder/log" \
    "--HELP --quiet"; do
    # shellcheck disable=SC2086
    expect 2 $args
    holds "old -" "$args"
done
grep -q "^Usage: orvalis-upgrade" "$tmp/out" || fail "--HELP printed no usage"

# Boxes need a display: without one the window and a run without /quiet say so and touch nothing.
for args in "" "/upgrade saved" "/?"; do
    # shellcheck disable=SC2086
    expect 2 $args
    holds "old -" "'$args' without a display"
    grep -q "^The upgrade window could not be opened: there is no display" "$tmp/err" ||
        fail "'$args' without a display did not say why"
done

# Upgraded and put back, switches in any case and form, the upgrade named as a folder or a file.
layout
expect 0 /UPGRADE saved /Quiet /log "$tmp/log"
holds "new old" "/upgrade saved"
grep -qx "Upgrade successful." "$tmp/err" || fail "no message on standard error"
grep -qx "outcome: upgraded (exit code 0)" "$tmp/err" || fail "no outcome on standard error"
expect 0 -restore --quiet --log "$tmp/log"
holds "old new" "/restore"
expect 0 /upgrade saved/Orvalis.ugx /quiet /log "$tmp/log"
holds "new old" "/upgrade saved/Orvalis.ugx"
# The same upgrade again, as after a run whose outcome nobody saw: the previous version stays.
expect 10 /upgrade saved /quiet
holds "new old" "/upgrade saved, once more"
stamp='^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z '
[[ $(grep -cvE "$stamp" "$tmp/log") == 0 ]] || fail "a log line without a time stamp"
[[ $(grep -cE "${stamp}outcome: (upgraded|put back) \(exit code 0\)$" "$tmp/log") == 3 ]] ||
    fail "the log does not hold the three outcomes: $(cat "$tmp/log")"
grep -qE "${stamp}copying the upgrade file" "$tmp/log" || fail "the log does not show the copy"

# Nothing there to install, or nothing to install it over: told, nothing touched.
layout
expect 3 /upgrade nowhere /quiet
holds "old -" "/upgrade nowhere"
printf 'other' >"$tmp/saved/Other.ugx"
expect 3 /upgrade saved/Other.ugx /quiet
holds "old -" "/upgrade saved/Other.ugx"
expect 3 /restore /quiet
grep -qx "There is no Orvalis.old to put back." "$tmp/err" || fail "/restore without Orvalis.old not told"
rm "$tmp/app/Orvalis.exe"
expect 4 /upgrade saved /quiet
holds "- -" "/upgrade without Orvalis.exe"
printf 'older' >"$tmp/app/Orvalis.old"
expect 4 /restore /quiet
holds "- older" "/restore without Orvalis.exe"

# Orvalis running from "Orvalis.exe": refused, with its process, and nothing touched.
layout
rm "$tmp/app/Orvalis.exe"
cp "$(command -v sleep)" "$tmp/app/Orvalis.exe"
printf 'older' >"$tmp/app/Orvalis.old"
before=$(md5sum "$tmp/app/Orvalis.exe")
"$tmp/app/Orvalis.exe" 60 &
holder=$!
for _ in $(seq 50); do [[ $(readlink "/proc/$holder/exe") == "$tmp/app/Orvalis.exe" ]] && break; sleep 0.05; done
for args in "/upgrade saved /quiet" "/restore /quiet"; do
    # shellcheck disable=SC2086
    expect 5 $args
    grep -q "^Orvalis is still running. Close it, then click OK again.$" "$tmp/err" || fail "$args: not told"
    grep -q "process $holder\.$" "$tmp/err" || fail "$args: the process is not named"
    [[ $(md5sum "$tmp/app/Orvalis.exe") == "$before" && $(cat "$tmp/app/Orvalis.old") == older ]] ||
        fail "$args changed the files"
    [[ $(ls -A "$tmp/app" | wc -l) == 3 ]] || fail "$args left something: $(ls -A "$tmp/app")"
done
kill "$holder"
wait "$holder" 2>/dev/null
holder=
expect 0 /upgrade saved /quiet
[[ $(cat "$tmp/app/Orvalis.exe") == new ]] || fail "not upgraded once Orvalis had ended"

# Another upgrade of the folder running: its lock held from outside.
layout
(exec 9<"$tmp/app" && flock 9 && exec sleep 60) & # the lock goes with the process killed below
holder=$!
sleep 0.3
expect 6 /upgrade saved /quiet
holds "old -" "/upgrade while the folder is locked"
kill "$holder"
wait "$holder" 2>/dev/null
holder=

# A step fails and is undone: "Orvalis.old" is a folder, so the executable cannot take that name.
layout
mkdir "$tmp/app/Orvalis.old"
expect 7 /upgrade saved /quiet
[[ $(cat "$tmp/app/Orvalis.exe") == old && -d $tmp/app/Orvalis.old && ! -e $tmp/app/Orvalis.ugx ]] ||
    fail "the failed upgrade was not undone: $(ls -A "$tmp/app")"

((fails == 0)) && echo "all command-line cases passed"
exit $((fails > 0))
