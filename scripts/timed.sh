#!/usr/bin/env bash
# Runs a command and says how long it took, in wall-clock and in CPU seconds
# (its own and its children's), also into build/phases for the test runner's
# closing report.
#   scripts/timed.sh PHASE COMMAND...
phase=$1
shift
start=$(date +%s.%N)
"$@"
rc=$?
read -r _ _ user sys < <(times | tail -1 | tr -d 's' | sed 's/m/ /g' | awk '{print 0, 0, $1 * 60 + $2, $3 * 60 + $4}')
line=$(awk -v p="$phase" -v s="$start" -v e="$(date +%s.%N)" -v u="$user" -v y="$sys" \
	'BEGIN { printf "%-10s %7.1f s wall %8.1f s CPU", p, e - s, u + y }')
echo "$line"
mkdir -p build && echo "$line" > "build/phase-$phase"
exit $rc
