#!/usr/bin/env bash
# The Debian package: its name, control fields and files, its dependencies
# (libjack only through the JACK driver), lintian, and the README's one line
# run from the unpacked package.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
. "$(dirname "$0")/ship_lib.sh"

deb=$work/tandemwav_${version}_amd64.deb
if ! (cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || [ ! -f "$deb" ]; then
    echo "FAIL cpack: no $(basename "$deb")"
    cat "$work/cpack.log"
    finish
fi
field() { dpkg-deb -f "$deb" "$1"; }
check "control fields" eval '[ "$(field Package)" = tandemwav ] && [ "$(field Version)" = "$version" ] &&
    [ "$(field Architecture)" = amd64 ] && [ "$(field Section)" = sound ] &&
    [ -n "$(field Maintainer)" ] && [ "$(field Description | wc -l)" -gt 2 ]'

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./||' >files
for file in usr/bin/tandemwav usr/share/tandemwav/registry.reg usr/share/tandemwav/examples/sweep.wav \
    usr/share/tandemwav/examples/measure-sweep.wav usr/share/tandemwav/examples/measure-sweep.json \
    usr/share/doc/tandemwav/docs/report-example.png \
    usr/share/doc/tandemwav/copyright usr/share/doc/tandemwav/changelog.gz \
    usr/share/doc/tandemwav/README.md usr/share/doc/tandemwav/docs/loopback.md \
    usr/share/doc/tandemwav/docs/jack.md usr/share/doc/tandemwav/docs/registry.md \
    usr/share/doc/tandemwav/docs/performance.md usr/share/man/man1/tandemwav.1.gz \
    usr/bin/tandemwav-probe usr/share/man/man1/tandemwav-probe.1.gz \
    usr/bin/tandemwav-measure usr/share/man/man1/tandemwav-measure.1.gz \
    usr/share/doc/tandemwav/docs/measure.md; do
    check "holds $file" grep -qx "$file" files
done
check "the loopback driver in a folder of its own" grep -Eq '^usr/lib/([^/]+/)?tandemwav/libtandem_loopback\.so$' files
check "nothing outside /usr" eval '! grep -v "^usr/" files'

dpkg-deb -x "$deb" root
needs_jack() { readelf -d "$1" | grep -q 'NEEDED.*libjack'; }
for object in $(find root -type f -name '*.so' -o -type f -path '*/bin/*'); do
    case $object in
    */libtandem_jack.so) check "$(basename "$object") needs libjack" needs_jack "$object" ;;
    *) check "$(basename "$object") does without libjack" eval '! needs_jack "$object"' ;;
    esac
done
if grep -q libtandem_jack.so files; then
    check "depends on libjack for the JACK driver" eval 'field Depends | grep -q libjack'
else
    check "no JACK driver, no libjack" eval '! field Depends | grep -q libjack'
fi
check "depends on libc6" eval 'field Depends | grep -q "libc6 (>="'

if command -v lintian >/dev/null; then
    check "lintian finds no error or warning" eval 'lintian --fail-on error,warning \
        "$deb" >lintian.log 2>&1 || { cat lintian.log; false; }'
fi

# The README's line, with the package unpacked instead of installed.
mkdir -p config
run_program() {
    env -i PATH=/usr/bin:/bin HOME="$work" XDG_CONFIG_HOME="$work/config" \
        "$work/root/usr/bin/tandemwav" "$@" >"$work/out" 2>"$work/err" </dev/null
    status=$?
}
sweep=$work/root/usr/share/tandemwav/examples/sweep.wav
run_in_time "Tandem Loopback" 256 "$sweep" 1 out.wav 2 1
expect_sweep_loop "unpacked package" "$sweep" out.wav
finish
