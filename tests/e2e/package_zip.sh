#!/usr/bin/env bash
# The Windows release archive, used the way its read-me says: unpacked, the
# driver registered from there with regsvr32, the unpacked program run on the
# unpacked example, the driver unregistered. Every binary in it carries the
# project's version and needs no DLL beyond Windows' own.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
. "$(dirname "$0")/ship_lib.sh"

name=tandemwav-$version-win64
if ! (cd "$build" && cpack -G ZIP -B "$work" >"$work/cpack.log") || ! unzip -q "$name.zip"; then
    echo "FAIL cpack: no $name.zip"
    cat "$work/cpack.log"
    finish
fi
folder=$work/$name
for file in tandemwav.exe tandemwav-probe.exe tandemwav-measure.exe tandem_loopback.dll sweep.wav README.txt LICENSE.txt; do
    check "holds $file" test -f "$folder/$file"
done
crlf_text() { perl -0777 -ne 'exit(/(?<!\r)\n/ || !/\r\n/)' "$1"; }
check "read-me in CRLF text" crlf_text "$folder/README.txt"
check "licence in CRLF text" eval 'crlf_text "$folder/LICENSE.txt" && grep -q "MIT" "$folder/LICENSE.txt"'
check "read-me tells how to install, configure and uninstall" eval \
    'grep -q "regsvr32 tandem_loopback.dll" "$folder/README.txt" &&
     grep -q "^  reg add " "$folder/README.txt" && grep -q "regsvr32 /u" "$folder/README.txt"'

# version_strings FILE: the version resource's fixed file and product versions
# and its string values, one "key=value" a line.
version_strings() {
    perl -0777 -ne '
        my $at = index($_, pack("V", 0xFEEF04BD));
        exit 1 if $at < 0;
        my @v = unpack("V4", substr($_, $at + 8, 16));
        printf "fixed=%d.%d.%d product=%d.%d.%d\n", $v[0] >> 16, $v[0] & 0xFFFF, $v[1] >> 16,
            $v[2] >> 16, $v[2] & 0xFFFF, $v[3] >> 16;
        for my $key (qw(FileVersion ProductVersion ProductName OriginalFilename FileDescription)) {
            my $k = join("", map { "$_\0" } split //, $key) . "\0\0";
            /\Q$k\E(?:\0\0)*((?:[^\0]\0)+)\0\0/ or next;
            (my $value = $1) =~ s/\0//g;
            print "$key=$value\n";
        }' "$1"
}
for binary in "$folder"/*.exe "$folder"/*.dll; do
    base=$(basename "$binary")
    version_strings "$binary" >"$work/$base.version"
    check "$base: version resource of $version" eval \
        'grep -qx "fixed=$version product=$version" "$work/$base.version" &&
         grep -qx "FileVersion=$version" "$work/$base.version" &&
         grep -qx "ProductVersion=$version" "$work/$base.version" &&
         grep -qx "ProductName=tandemwav" "$work/$base.version" &&
         grep -qx "OriginalFilename=$base" "$work/$base.version" &&
         grep -q "^FileDescription=." "$work/$base.version"'
    x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/.*DLL Name: //p' >"$work/$base.imports"
    check "$base: only Windows' own DLLs" eval '[ -s "$work/$base.imports" ] && ! grep -Eiv \
        "^(kernel32|msvcrt|ucrtbase|advapi32|ole32|oleaut32|user32|winmm|shell32|api-ms-win-.*)\.dll$" \
        "$work/$base.imports"'
done

# As the read-me has it: from the unpacked folder, with Windows paths.
cd "$folder" || exit 1
program=$folder/tandemwav.exe
check "regsvr32 registers the unpacked driver" "$runner" regsvr32 /s "$(winpath "$folder/tandem_loopback.dll")"
run_in_time "Tandem Loopback" 256 sweep.wav 1 out.wav 2 1
expect_sweep_loop "unpacked archive" sweep.wav out.wav
check "the unpacked probe prints the line the read-me runs" eval \
    '"$runner" "$folder/tandemwav-probe.exe" "Tandem Loopback" | grep -q "tandemwav \"Tandem Loopback\" 256 "'
check "the unpacked measurement analyses the read-me's sweep" eval \
    '"$runner" "$folder/tandemwav-measure.exe" sweep m.wav --seconds 1 >/dev/null &&
     "$runner" "$folder/tandemwav.exe" "Tandem Loopback" 256 m.wav 1 m-rec.wav 1 1 >/dev/null &&
     "$runner" "$folder/tandemwav-measure.exe" analyze m.wav m-rec.wav | grep -q "^Input 1: delay 256 frames"'
check "regsvr32 /u unregisters it" "$runner" regsvr32 /u /s "$(winpath "$folder/tandem_loopback.dll")"
expect_run "unregistered driver is gone" 4 "${BANNER}Error: Failed to load ASIO driver Tandem Loopback!" \
    "Tandem Loopback" 256 sweep.wav 1 out.wav 2 1
finish
