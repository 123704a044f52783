#!/bin/sh
# Runs two varlo-cli builds on the same networks with both methods and both TCP profiles and
# checks that their dump files are byte-identical (a speed change must not move a single digit).
#
# Usage: scripts/compare-dumps.sh REFERENCE-CLI CANDIDATE-CLI NET... [-- extra run options]
#   e.g. scripts/compare-dumps.sh /tmp/old/varlo-cli build/core/varlo-cli examples/dumbbell.net -- --threads 2
# The reference dumps are kept in $VARLO_REFERENCE_DUMPS (default /tmp/varlo-reference-dumps) and
# reused while the network file is older than them, so a slow reference runs once.
set -u
reference=$1
candidate=$2
shift 2
nets=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do nets="$nets $1"; shift; done
[ $# -gt 0 ] && shift
refdir=${VARLO_REFERENCE_DUMPS:-/tmp/varlo-reference-dumps}
outdir=$(mktemp -d)
mkdir -p "$refdir"
status=0
for net in $nets; do
  base=$(basename "$net" .net)
  for method in metrics mm1k; do
    for profile in ns netbsd; do
      ref="$refdir/$base.$method.$profile.dmp"
      out="$outdir/$base.$method.$profile.dmp"
      if [ ! -f "$ref" ] || [ "$net" -nt "$ref" ]; then
        "$reference" run "$net" --dump "$ref" --method "$method" --profile "$profile" --quiet 2>/dev/null
        echo "exit $?" > "$ref.status"
      fi
      "$candidate" run "$net" --dump "$out" --method "$method" --profile "$profile" --quiet "$@" 2>/dev/null
      echo "exit $?" > "$out.status"
      # Line 1 names the network file, the same for both.
      if cmp -s "$ref" "$out" && cmp -s "$ref.status" "$out.status"; then
        echo "same      $base $method $profile ($(cat "$out.status"), $(wc -l < "$out") lines)"
      else
        echo "DIFFERENT $base $method $profile"
        status=1
      fi
    done
  done
done
rm -rf "$outdir"
exit $status
