#!/usr/bin/env bash
# The spread of the room figures over ten rooms of one decay: the loopback
# device model's tail drawn from seeds 1 to 10 (T = 0.8 s, -10 dB, no noise
# floor), each measured through tandemwav and analysed with --room, then the
# mean and standard deviation of every band's T20 and T30 and of the
# broadband C50, C80, D50 and Ts.
#   room_seed_spread.sh BUILD_BIN [WORKDIR]
bin=${1:?the build tree\'s bin folder}
workdir=${2:-${TMPDIR:-/tmp}/room_seed_spread}
here=$(cd "$(dirname "$0")" && pwd)
set -- "" "$bin/tandemwav-measure" lf "$workdir" "$bin/libtandem_loopback.so" "$bin/tandemwav"
. "$here/../tests/e2e/lib.sh"
. "$here/../tests/e2e/streaming_lib.sh"
for seed in 1 2 3 4 5 6 7 8 9 10; do
    device "Room $seed" "$(printf '{4EA5E0%02d-0000-4000-8000-0000000A5EED}' "$seed")" \
        freeRunning=1 dutReverbSeconds=0.8 dutReverbDb=-10 dutReverbSeed=$seed
done
install_devices
run_program sweep sweep.wav --from 50 --seconds 10 || exit 1
for seed in 1 2 3 4 5 6 7 8 9 10; do
    "$bin/tandemwav" "Room $seed" 256 sweep.wav 1 "seed$seed.wav" 1 1 >/dev/null </dev/null &&
        run_program analyze sweep.wav "seed$seed.wav" --room || exit 1
done
python3 - seed*-measure/results.json <<'PY'
import json, math, statistics, sys
rooms = [json.load(open(p))["channels"][0]["room"]["figures"] for p in sys.argv[1:]]
print(f"{len(rooms)} seeds; T = 0.8 s: mean, standard deviation, worst of |T - 0.8| / 0.8")
for i, band in enumerate(rooms[0]):
    row = [band["band"]]
    for name in ("t20", "t30"):
        values = [r[i][name]["seconds"] for r in rooms if r[i][name]]
        if len(values) < 2:
            row.append(f"{name} absent")
            continue
        worst = max(abs(v - 0.8) / 0.8 for v in values)
        row.append(f"{name} {statistics.mean(values):.4f} sd {statistics.stdev(values):.4f} "
                   f"worst {100 * worst:.1f} %")
    print("  ".join(row))
for key in ("c50Db", "c80Db", "d50Percent", "tsMs"):
    values = [r[0][key] for r in rooms]
    print(f"broadband {key}: mean {statistics.mean(values):.3f} sd {statistics.stdev(values):.3f} "
          f"range {min(values):.3f} to {max(values):.3f}")
PY
