#!/usr/bin/env bash
# Runs a command and says how long it took, in wall-clock and in CPU seconds
# (of the programs it ran), also into build/phase-PHASE for the test runner's
# closing report.
#   scripts/timed.sh PHASE COMMAND...
phase=$1
shift
start=$(date +%s.%N)
"$@"
rc=$?
# The builtin, redirected, runs in this shell: its second line is the CPU
# time of the children waited for, as "1m2.500s 0m3.250s".
mkdir -p build
times > build/.times
line=$(awk -v p="$phase" -v s="$start" -v e="$(date +%s.%N)" 'NR == 2 {
	gsub(/s/, ""); split($1, u, "m"); split($2, y, "m")
	printf "%-10s %7.1f s wall %8.1f s CPU", p, e - s, u[1] * 60 + u[2] + y[1] * 60 + y[2] }' build/.times)
rm -f build/.times
echo "$line"
echo "$line" > "build/phase-$phase"
exit $rc
