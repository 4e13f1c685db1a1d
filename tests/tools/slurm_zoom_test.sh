#!/usr/bin/env bash
# The zoom on a real one-node Slurm cluster: munged, slurmctld and slurmd
# started here with a private configuration in a scratch folder (and stopped
# after), the keyframes submitted as a job array of 3 tasks with the movie as
# a job after it (scripts/slurm/submit_zoom.sh); the keyframes must be those
# of a single local run byte for byte, and the movie must exist.
# Exit status 77 (a skip) only where no cluster can be started: not root, or
# Debian's slurm-wlm and munge are missing.
set -euo pipefail
zoom="$1"
scripts="$2"
skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "starting slurmd and munged needs root"
for program in slurmctld slurmd sbatch squeue sinfo munged munge unmunge ffmpeg; do
  command -v $program >/dev/null || skip "$program is missing (Debian's slurm-wlm, munge and ffmpeg packages)"
done

scratch=$(mktemp -d /tmp/slurm-zoom.XXXXXX)
chmod 755 "$scratch"
pids=()
stop() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -rf "$scratch"
}
trap stop EXIT
fail() {
  echo "FAIL: $*" >&2
  for log in "$scratch"/*.log "$scratch"/keys/slurm-*.log; do [ -f "$log" ] && { echo "== $log"; tail -20 "$log"; }; done >&2
  exit 1
}
wait_for() {  # seconds description command...
  local seconds=$1 what=$2
  shift 2
  for _ in $(seq $((seconds * 10))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "no $what after $seconds s"
}
pidof_file() { for _ in $(seq 100); do [ -s "$1" ] && { cat "$1"; return; }; sleep 0.1; done; fail "no pid file $1"; }

# munged on a socket of its own, with the installed key (made if missing).
key=/etc/munge/munge.key
if [ ! -s $key ]; then
  mkdir -p /etc/munge
  head -c 1024 /dev/urandom >$key
  chown munge:munge $key
  chmod 400 $key
fi
mkdir -p "$scratch/munge"
chown munge:munge "$scratch/munge"
chmod 755 "$scratch/munge"
socket="$scratch/munge/munge.socket"
runuser -u munge -- munged --socket="$socket" --key-file=$key --pid-file="$scratch/munge/munged.pid" \
  --log-file="$scratch/munge/munged.log" --seed-file="$scratch/munge/munged.seed"
pids+=("$(pidof_file "$scratch/munge/munged.pid")")
wait_for 10 "munge credential" sh -c "munge -S '$socket' -n | unmunge -S '$socket'"

# slurmctld and slurmd on free ports of this host.
ports=$(python3 -c 'import socket
s=[socket.socket() for _ in range(2)]
[x.bind(("127.0.0.1", 0)) for x in s]
print(*[x.getsockname()[1] for x in s])')
read -r ctld_port slurmd_port <<<"$ports"
host=$(hostname -s)
export SLURM_CONF="$scratch/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=zoomtest
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/slurmctld.pid
SlurmdPidFile=$scratch/slurmd.pid
SlurmctldLogFile=$scratch/slurmctld.log
SlurmdLogFile=$scratch/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MpiDefault=none
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
mkdir -p "$scratch/state" "$scratch/spool"
slurmctld -f "$SLURM_CONF"
pids+=("$(pidof_file "$scratch/slurmctld.pid")")
slurmd -f "$SLURM_CONF"
pids+=("$(pidof_file "$scratch/slurmd.pid")")
wait_for 60 "idle node" sh -c 'sinfo -h -o %t | grep -q idle'
echo "cluster up: $(sinfo -h -o '%P %D %t %c')"

view=(--size 96x54 -0.74534 0.11273 2e-6 400)
export MANDELBROT_ZOOM="$zoom"
jobs=$("$scripts/submit_zoom.sh" 3 "$scratch/keys" "--fps 10 --seconds 2" "${view[@]}")
echo "$jobs"
movie_job=${jobs##* }
wait_for 300 "end of the movie job $movie_job" sh -c "[ -z \"\$(squeue -h -j $movie_job 2>/dev/null)\" ]"
[ -s "$scratch/keys/zoom.mp4" ] || fail "the movie job made no movie"
for i in 0 1 2; do grep -q "rendered=" "$scratch/keys/slurm-keyframes-$i.log" || fail "array task $i did not run"; done

"$zoom" keyframes --out "$scratch/local" "${view[@]}" >/dev/null
count=0
for file in "$scratch/local"/*; do
  name=$(basename "$file")
  cmp -s "$file" "$scratch/keys/$name" || fail "$name of the array differs from the local run's"
  count=$((count + 1))
done
echo "array of 3 tasks: $count files identical to the local run; movie $(stat -c %s "$scratch/keys/zoom.mp4") bytes"
