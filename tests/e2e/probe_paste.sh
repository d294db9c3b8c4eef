#!/usr/bin/env bash
# The probe's "what to type" line, pasted into the shell of its system (sh and
# bash natively, Wine's cmd for the Windows build), records with the driver of
# that name: names holding quotes, expansions, command substitutions, a
# trailing backslash or non-ASCII text pass through unchanged, and nothing in
# them runs.
#   probe_paste.sh RUNNER PROBE NEWLINE WORKDIR LOOPBACK_MODULE TANDEMWAV
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
tandemwav=$6
# The names are UTF-8, and Wine reads a command line in the locale's character
# set: the test sets one rather than take the machine's (a fresh one has none).
export LC_ALL=C.UTF-8

fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

# Each name would run a command, or expand into something else, if a shell
# took it unquoted or wrongly quoted; none reaches 32 characters, where
# tandemwav matches a shortened name.
names=(
    "It's \$(touch ran1) \`touch ran2\`"
    '"%PASTEVAR%" & echo >ran3 "'
    'C:\dir\ "q" %x \'
    $'\xc3\x9cn\xc3\xafcode $HOME \xe2\x9c\x93'
    '!! ^caret | (sub); $PASTEVAR'
)
export PASTEVAR=expanded
# A .reg string escapes quotes and backslashes.
regtext() { printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g'; }
k=0
for name in "${names[@]}"; do
    k=$((k + 1))
    clsid="{C0FFEE40-0000-4000-8000-00000000000$k}"
    {
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\%s]\n' "$clsid"
        printf '"freeRunning"=dword:00000001\n'
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Paste %d]\n"CLSID"="%s"\n' "$k" "$clsid"
        printf '"Description"="%s"\n' "$(regtext "$name")"
        printf '[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]\n@="%s"\n' "$clsid" \
            "$(regpath "$module")"
    } >>"$work/devices.reg"
    printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\%s]\n' "$clsid" >>"$work/remove.reg"
    printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Paste %d]\n' "$k" >>"$work/remove.reg"
    printf '[-HKEY_CLASSES_ROOT\\CLSID\\%s]\n' "$clsid" >>"$work/remove.reg"
done
if [ -n "$runner" ]; then
    # Wine's regedit reads text beyond ASCII from a file in UTF-16, as Windows
    # exports it.
    for part in devices remove; do
        { printf '\xff\xfe'; { echo 'Windows Registry Editor Version 5.00'; cat "$work/$part.reg"; } |
            iconv -f UTF-8 -t UTF-16LE; } >"$work/$part-utf16.reg"
    done
    "$runner" regedit /S "$(winpath "$work/devices-utf16.reg")"
    trap '"$runner" regedit /S "$(winpath "$work/remove-utf16.reg")"' EXIT
else
    install_devices
fi
make_float_wav play.wav 2 48000 4800
bin=$(dirname "$tandemwav")

# paste_cmd LINE: the line typed into Wine's cmd at its prompt, on a terminal
# of its own (without one, Wine's cmd reads no UTF-8); sets $status from what
# cmd says the program's exit code was.
paste_cmd() {
    rm -f "$work/typing"
    mkfifo "$work/typing"
    (
        export WINEPREFIX=$TANDEMWAV_WINEPREFIX WINEDEBUG=-all WINEPATH=$(winpath "$bin")
        unset DISPLAY
        exec timeout 120 script -qfec "wine cmd" /dev/null <"$work/typing" >"$work/cmd-out" 2>&1
    ) &
    local pid=$!
    # Kept open until cmd has exited, so that the terminal never ends early.
    exec 3>"$work/typing"
    # Typed once cmd shows its prompt: before, the terminal still turns the
    # Enter key into a line feed that cmd takes as text.
    for _ in $(seq 600); do
        grep -q '>' "$work/cmd-out" 2>/dev/null && break
        sleep 0.1
    done
    printf 'chcp 65001\r%s\recho pasted-status=%%errorlevel%%\rexit\r' "$1" >&3
    wait $pid
    exec 3>&-
    status=$(tr -d '\r' <"$work/cmd-out" | grep -oE 'pasted-status=[0-9]+' | tail -n 1 | cut -d= -f2)
}

k=0
for name in "${names[@]}"; do
    k=$((k + 1))
    run_program "$name"
    line=$(tr -d '\r' <"$work/out" | sed -n '/^Command line:$/{n;s/^  //;p}')
    case $line in
    tandemwav*) ;;
    *)
        fail "name $k: no command line (exit code $status)"
        continue
        ;;
    esac
    if [ -n "$runner" ]; then
        shells=(cmd)
    else
        shells=(sh bash)
    fi
    for shell in "${shells[@]}"; do
        rm -f record.wav ran1 ran2 ran3
        if [ "$shell" = cmd ]; then
            paste_cmd "$line"
        else
            PATH=$bin:$PATH "$shell" -c "$line" >"$work/shell-out" 2>&1 </dev/null
            status=$?
        fi
        if [ "$status" = 0 ] && [ -s record.wav ] && ! ls ran? >/dev/null 2>&1; then
            echo "ok   name $k in $shell"
        else
            fail "name $k in $shell: exit code $status, line: $line"
            ls ran? 2>/dev/null
        fi
    done
done
finish
