#!/usr/bin/env bash
# Times `kalibron export` of the largest table the import takes (6000 lines,
# positions up to 30000, every export box ticked) as a whole process and
# prints the median of RUNS runs in milliseconds.
#   bench_export.sh KALIBRON_BINARY [RUNS]
set -eu
tool=$1
runs=${2:-21}
table=$(mktemp)
trap 'rm -f "$table"' EXIT
awk 'BEGIN { for (i = 1; i <= 6000; i++) { x = 5 * i; printf "%d\t%.4f\r\n", x, 1000 - 0.01 * x + 5 * sin(x / 300) } }' >"$table"
export LC_ALL=C
times=()
for ((r = 0; r < runs; r++)); do
    start=$(date +%s%N)
    "$tool" export --export lin,log,poly2,poly3,poly4,poly5,free,zigzag "$table" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$((runs / 2 + 1))p")
printf 'kalibron export, 6000 lines, MaxX 30000, all blocks: median %d.%03d ms over %d runs\n' \
    $((median / 1000)) $((median % 1000)) "$runs"
