#!/usr/bin/env bash
# A private JACK server for the tests: the dummy backend, no real-time
# scheduling, a name of its own, so no sound card and no other server is
# touched.
#   jack_server.sh start NAME DIR   starts it, waits until it answers
#   jack_server.sh stop NAME DIR    stops the one started with that DIR
# DIR keeps the server's process id and log.
set -u
action=$1
name=$2
dir=$3
pidfile=$dir/jackd.pid
export JACK_NO_START_SERVER=1

stop_server() {
    [ -f "$pidfile" ] || return 0
    local pid
    pid=$(cat "$pidfile")
    rm -f "$pidfile"
    # Only the process we started, and only while it is still jackd.
    if [ -n "$pid" ] && [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = jackd ]; then
        kill "$pid"
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || return 0
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null
    fi
    return 0
}

start_server() {
    mkdir -p "$dir"
    stop_server
    # Detached from the test's output, which CTest waits on until it closes.
    setsid jackd -n "$name" --no-realtime -d dummy -r 48000 -p 256 \
        </dev/null >"$dir/jackd.log" 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
        if jack_lsp -s "$name" >/dev/null 2>&1; then
            echo "JACK server $name answers (pid $(cat "$pidfile"))"
            return 0
        fi
        kill -0 "$(cat "$pidfile")" 2>/dev/null || break
        sleep 0.1
    done
    echo "JACK server $name did not come up:"
    cat "$dir/jackd.log"
    stop_server
    return 1
}

case $action in
start) start_server ;;
stop) stop_server ;;
*)
    echo "usage: $0 start|stop NAME DIR"
    exit 2
    ;;
esac
