#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan + UBSan) and runs every fuzz program
# for a bounded time, starting from its seed corpus (fuzz/<program>/), as many at once
# as there are cores. Fails when any program has a finding; the input that found it is
# left as build/fuzz/findings/<program>-*.
# Usage: scripts/fuzz.sh [--seconds N] [program...]   (default: 30 s each, all programs)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${TAGQUILL_FUZZ_SECONDS:-30}
programs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) programs+=("$1"); shift ;;
  esac
done
if [ ${#programs[@]} -eq 0 ]; then
  for source in fuzz/fuzz_*.cpp; do
    programs+=("$(basename "$source" .cpp)")
  done
fi

cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)"

bin=build/fuzz/bin
findings=build/fuzz/findings
mkdir -p "$findings"
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# One program; its output goes to its log, and its log says how it ended.
fuzz_one() {
  local program=$1
  # New inputs go to a scratch folder: the committed corpus stays small and only grows
  # by the findings someone adds on purpose.
  local scratch
  scratch=$(mktemp -d)
  if "$bin/$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/$program-" \
      "$scratch" "fuzz/$program" >"$logs/$program.log" 2>&1; then
    echo ok >"$logs/$program.result"
  fi
  rm -rf "$scratch"
}

# Each program uses one core: as many run at once as there are cores.
jobs=$(nproc)
for program in "${programs[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
    wait -n || true
  done
  echo "=== fuzz: $program (${seconds} s) ==="
  fuzz_one "$program" &
done
wait
failed=0
for program in "${programs[@]}"; do
  echo "=== fuzz: $program ==="
  tail -n 25 "$logs/$program.log"
  if [ ! -f "$logs/$program.result" ]; then
    echo "fuzz: $program found a fault; its input is in $findings/" >&2
    failed=1
  fi
done
if [ "$failed" = 1 ]; then
  exit 1
fi
echo "Every fuzz program ran ${seconds} s without a finding."
