# Shared by the scripts that test what users get (an installed tree, the
# Debian package, the Windows archive), after lib.sh and streaming_lib.sh.
# They are called as
#   script.sh RUNNER PROGRAM NEWLINE WORKDIR LOOPBACK_MODULE BUILD_DIR
build=${6:?the build tree is the sixth argument}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

# check NAME COMMAND...: one named check that passes when the command does.
check() {
    local name=$1
    shift
    if "$@"; then
        echo "ok   $name"
    else
        echo "FAIL $name"
        failures=$((failures + 1))
    fi
}

# expect_sweep_loop NAME PLAY REC: the last run ended with Done! and exit 0,
# and REC is PLAY come back bit for bit through the default loopback device.
expect_sweep_loop() {
    check "$1: Done!, exit 0" eval '[ "$status" = 0 ] && tr -d "\r" <"$work/out" | grep -qx "Done!"'
    check "$1: the recording is the sweep, bit for bit" check_loop "$2" "$3" 4 256 256 1 1 2
}

# run_in_time ARGS...: run_program on the default device, which keeps real
# time like hardware: on a machine too busy to meet one of its deadlines the
# run ends with exit code 15, so such a run is tried up to five times.
run_in_time() {
    local attempt
    for attempt in 1 2 3 4 5; do
        run_program "$@"
        [ "$status" = 15 ] || return 0
    done
}
