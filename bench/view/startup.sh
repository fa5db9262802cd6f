#!/usr/bin/env bash
# The whole ar4view process on a full-size type-76 archive (131072 pages, 2.49 million cells, about 1000
# runs), offscreen: start, read, scan, runs, gathering, the first painted plot, exit (--quit-after-paint),
# beside its physical floor, reading the same file with cat. Then the peak resident memory. Targets: 0.5 s
# and 120 MiB.
#   bench/view/startup.sh [BUILD_DIR]      (default: build/release)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/ar4gen/ar4gen" -o "$work/full76.ar4" --type 76 --pages 131072 --setbacks 999 --flagged 0.001 --seed 3
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
viewer="$build/src/view/ar4view"
"$viewer" --timing --quit-after-paint "$work/full76.ar4"
hyperfine -N --warmup 2 --runs 15 --export-json "$work/times.json" \
  "cat $work/full76.ar4" \
  "$viewer --quit-after-paint $work/full76.ar4" >/dev/null
# Medians with min-max, wall and CPU (user + system): on a machine shared with other work the CPU time
# says what the process itself costs.
python3 - "$work/times.json" <<'PY'
import json, statistics, sys
for r in json.load(open(sys.argv[1]))["results"]:
    cpu = [u + s for u, s in zip(r["user"], r["system"])] if "user" in r and isinstance(r["user"], list) else None
    line = "%-40s wall median %.3f s (min %.3f, max %.3f)" % (r["command"].split()[0].split("/")[-1], statistics.median(r["times"]), min(r["times"]), max(r["times"]))
    if cpu:
        line += ", CPU median %.3f s (min %.3f, max %.3f)" % (statistics.median(cpu), min(cpu), max(cpu))
    else:
        line += ", CPU mean %.3f s" % (r["user"] + r["system"])
    print(line)
PY
for i in 1 2 3 4 5; do
  /usr/bin/time -f "%M" "$viewer" --quit-after-paint "$work/full76.ar4" 2>&1 >/dev/null | tail -n 1
done | sort -n | awk '{ kib[NR] = $1 } END { printf "peak resident memory: median %.1f MiB (min %.1f, max %.1f)\n", kib[3] / 1024, kib[1] / 1024, kib[5] / 1024 }'
