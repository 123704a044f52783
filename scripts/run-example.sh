#!/usr/bin/env bash
# Installs what is missing, builds Varlo and runs the main job on the bundled dumbbell network:
# its routes, then (once the engine is built in) an evaluation run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j"$(nproc)" --target varlo-cli
cli=build/default/varlo-cli
"$cli" import examples/dumbbell.json -o build/default/dumbbell.net
echo "Routes of the dumbbell network (FROM TO NEXT COST, by node number):"
"$cli" routes build/default/dumbbell.net
