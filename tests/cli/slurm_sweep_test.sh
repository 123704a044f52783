#!/usr/bin/env bash
# A sweep on a real one-node SLURM cluster started here: munged (as user munge), slurmctld and
# slurmd (as root) with a generated configuration in a scratch folder. The sweep's job array and
# its collect job must give the summary a local sweep gives. Exactly the daemons started here are
# stopped again, by their process ids, however the test ends.
# Usage: slurm_sweep_test.sh VARLO_CLI SOURCE_DIR. Exit 77 (skipped) without root or the programs.
set -euo pipefail
cli=$(realpath "$1")
src=$(realpath "$2")

if [ "$(id -u)" -ne 0 ]; then echo "skipped: the SLURM daemons need root"; exit 77; fi
for p in munged slurmctld slurmd sbatch squeue sinfo; do
  command -v "$p" >/dev/null || [ -x "/usr/sbin/$p" ] || { echo "skipped: $p is not installed"; exit 77; }
done
[ -r /etc/munge/munge.key ] || { echo "skipped: no /etc/munge/munge.key"; exit 77; }
export PATH="$PATH:/usr/sbin"

work=$(mktemp -d /tmp/varlo-slurm.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  local code=$?
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ "$code" -ne 0 ]; then
    echo "--- slurmctld.log"; tail -n 30 "$work/slurmctld.log" 2>/dev/null || true
    echo "--- slurmd.log"; tail -n 30 "$work/slurmd.log" 2>/dev/null || true
    for f in "$work"/cluster/slurm/*.out; do [ -f "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done
  fi
  [ -n "${VARLO_KEEP_SCRATCH:-}" ] || rm -rf "$work"
  exit "$code"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# munged, as the munge user, its socket in the scratch folder.
mkdir -p "$work/munge"
chown munge:munge "$work/munge"
chmod 755 "$work/munge"
runuser -u munge -- munged --foreground --socket="$work/munge/munge.socket" --pid-file="$work/munge/munged.pid" \
  --log-file="$work/munge/munged.log" --seed-file="$work/munge/munged.seed" &
pids+=($!)
for _ in $(seq 50); do [ -S "$work/munge/munge.socket" ] && break; sleep 0.1; done
[ -S "$work/munge/munge.socket" ] || { echo "munged did not start"; exit 1; }

# Free ports for the two daemons.
read -r ctldPort slurmdPort < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
host=$(hostname -s)
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF="$work/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=varlotest
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$ctldPort
SlurmdPort=$slurmdPort
AuthType=auth/munge
AuthInfo=socket=$work/munge/munge.socket
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
ReturnToService=2
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
NodeName=$host CPUs=2 State=UNKNOWN
PartitionName=varlo Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF

slurmctld -D -i -f "$SLURM_CONF" >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$work/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  state=$(sinfo -h -N -o '%T' 2>/dev/null | head -n1 || true)
  case "$state" in idle*|mixed*|allocated*) break ;; esac
  sleep 0.2
done
echo "node state: ${state:-none}"
case "$state" in idle*|mixed*|allocated*) ;; *) echo "the cluster did not come up"; exit 1 ;; esac

# Eight variants: the dumbbell's bottleneck capacity x {0.5, 1, 1.5, 2} and TCP flows per source {0, 1}.
cd "$work"
cat >sweep.json <<JSON
{
  "network": "$src/examples/dumbbell.json",
  "run": {"method": "metrics", "total": 3, "step": 0.01, "dump_interval": 0.1, "profile": "ns"},
  "axes": [
    {"vary": "link", "change": "multiply-capacity", "between": ["R1", "R2"], "values": [0.5, 1, 1.5, 2]},
    {"vary": "tcp", "from": "S", "to": "D", "seed": 11, "values": [0, 1]}
  ]
}
JSON
"$cli" sweep sweep.json -o local --jobs 2 --quiet
"$cli" sweep sweep.json -o cluster --slurm-script cluster.sbatch --shards 4 --time 0:10:00 --partition varlo
grep -q '^#SBATCH --array=0-3$' cluster.sbatch
submitted=$(bash cluster.sbatch)
echo "$submitted"
array=$(sed -n 's/^array job \([0-9]*\), collect job \([0-9]*\)$/\1/p' <<<"$submitted")
collect=$(sed -n 's/^array job \([0-9]*\), collect job \([0-9]*\)$/\2/p' <<<"$submitted")
[ -n "$array" ] && [ -n "$collect" ] || { echo "no job ids"; exit 1; }
for _ in $(seq 600); do
  [ -z "$(squeue -h -j "$array,$collect" 2>/dev/null)" ] && break
  sleep 0.5
done
[ -z "$(squeue -h -j "$array,$collect" 2>/dev/null)" ] || { echo "the jobs did not finish"; squeue; exit 1; }

for i in 0 1 2 3; do
  grep -q "^shard $i/4: 2 of 2 variants ok" "cluster/slurm/shard-$i.out" || { echo "shard $i did not finish"; exit 1; }
done
grep -q "^8 of 8 variants ok, 0 failed, 0 missing" cluster/slurm/collect.out || { echo "collect failed"; exit 1; }
# The run time is the one column that may differ (the fourth after the two axes' values).
strip() { cut -d, -f5 --complement "$1"; }
if ! diff <(strip local/summary.csv) <(strip cluster/summary.csv); then
  echo "the cluster's summary differs from the local one"; exit 1
fi
cmp local/variants/variant-0005/run.dmp cluster/variants/variant-0005/run.dmp >/dev/null ||
  diff <(tail -n +2 local/variants/variant-0005/run.dmp) <(tail -n +2 cluster/variants/variant-0005/run.dmp) >/dev/null
echo "SLURM sweep: 8 variants in 4 array tasks, collected after them; summary equals the local sweep's"
