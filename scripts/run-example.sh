#!/usr/bin/env bash
# Installs what is missing, builds Varlo and runs the main job on the bundled dumbbell network:
# the routes of one source, a Compute Metrics run with its dump as CSV, and, with a display, the
# network opened in the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j"$(nproc)" --target varlo-cli
cli=build/default/varlo-cli
"$cli" import examples/dumbbell.json -o build/default/dumbbell.net
echo "Routes from S1 (node 3) in the dumbbell network (FROM TO NEXT COST, by node number):"
"$cli" routes build/default/dumbbell.net | awk '$1 == 3' 

echo "Compute Metrics on the dumbbell network (15 s of simulated time, steps of 0.01 s, a row every 0.1 s):"
"$cli" run build/default/dumbbell.net --dump build/default/dumbbell.dmp --quiet
"$cli" dump2csv build/default/dumbbell.dmp --net build/default/dumbbell.net -o build/default/dumbbell.csv
echo "Dump file: build/default/dumbbell.dmp; the same as CSV with named columns: build/default/dumbbell.csv"

echo "Summary of the run (the five busiest queues and the throughput per class kind):"
"$cli" summary build/default/dumbbell.dmp --net build/default/dumbbell.net --top 5
# The bottleneck R1 -> R2 (nodes 1 and 2); with ns installed, ns simulates the same network with a
# monitor on that queue and its measured size is drawn beside the computed one.
simulated=()
if command -v ns >/dev/null; then
  "$cli" ns-script build/default/dumbbell.net --monitor 1:2 --seed 1 --run >/dev/null
  simulated=(--simulated)
fi
"$cli" plot build/default/dumbbell.dmp --net build/default/dumbbell.net --queue R1:R2 "${simulated[@]}" \
  -o build/default/dumbbell-bottleneck.png
echo "Picture of the bottleneck queue R1 -> R2${simulated:+ (with the queue ns measured)}: build/default/dumbbell-bottleneck.png"

# With a display, the desktop program opens the same network (Help > Contents explains the window).
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build --preset default -j"$(nproc)" --target varlo
  example=examples/dumbbell.net
  [ -f "$example" ] || example=build/default/dumbbell.net
  echo "Opening $example in varlo"
  exec build/default/varlo "$example"
fi
