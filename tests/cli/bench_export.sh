#!/usr/bin/env bash
# Times the commands of `kalibron` on the largest table the import takes
# (6000 lines, positions up to 30000) as whole processes and prints the
# median of RUNS runs of each in milliseconds: export with every export box
# ticked, and with every method (the drift methods too), fit, rank, and plot
# as SVG and as PNG with every curve and the band;
# then export and values of the same blocks run in turn, side by side, with
# the ratio of their medians.
#   bench_export.sh KALIBRON_BINARY [RUNS]
set -eu
tool=$1
runs=${2:-21}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
table=$work/table.txt
awk 'BEGIN { for (i = 1; i <= 6000; i++) { x = 5 * i; printf "%d\t%.4f\r\n", x, 1000 - 0.01 * x + 5 * sin(x / 300) } }' >"$table"
export LC_ALL=C
every_curve=log,poly1,poly2,poly3,poly4,poly5,zigzag,conf

# time_median TITLE COMMAND...: runs COMMAND RUNS times, prints the median.
time_median() {
    local title=$1
    shift
    local times=() start end median
    for ((r = 0; r < runs; r++)); do
        # The shell's own clock: no process of its own inside the interval.
        start=${EPOCHREALTIME/./}
        "$@" >/dev/null
        end=${EPOCHREALTIME/./}
        times+=($((end - start)))
    done
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$((runs / 2 + 1))p")
    printf '%s: median %d.%03d ms over %d runs\n' "$title" $((median / 1000)) $((median % 1000)) "$runs"
}

time_median 'kalibron export, 6000 lines, MaxX 30000, all blocks' \
    "$tool" export --export lin,log,poly2,poly3,poly4,poly5,free,zigzag "$table"
# Every method on: the drift methods' blocks (the spline with its GCV) too.
every_method=lin,log,poly2,poly3,poly4,poly5,free,zigzag,spline,preceding,succeeding,bracket,mean
time_median 'kalibron export, 6000 lines, MaxX 30000, every method' \
    "$tool" export --export "$every_method" "$table"
time_median 'kalibron export --export-uncertainties, 6000 lines, MaxX 30000, every method' \
    "$tool" export --export-uncertainties --export "$every_method" "$table"
time_median 'kalibron fit, 6000 lines, MaxX 30000, every curve' \
    "$tool" fit --show "$every_curve" "$table"
time_median 'kalibron rank, 6000 lines, MaxX 30000' \
    "$tool" rank "$table"
time_median 'kalibron plot -o x.svg, 6000 lines, MaxX 30000, every curve' \
    "$tool" plot --show "$every_curve" -o "$work/x.svg" "$table"
time_median 'kalibron plot -o x.png, 6000 lines, MaxX 30000, every curve' \
    "$tool" plot --show "$every_curve" -o "$work/x.png" "$table"

# Side by side: one run of each in turn, so a busy machine slows both alike,
# and each goes first every other time, so neither inherits the other's
# warm caches more often.
every_block=lin,log,poly2,poly3,poly4,poly5,free,zigzag
export_times=() values_times=()
for ((r = 0; r < runs; r++)); do
    if ((r % 2 == 0)); then
        start=${EPOCHREALTIME/./}
        "$tool" export --export "$every_block" "$table" >/dev/null
        middle=${EPOCHREALTIME/./}
        "$tool" values --export "$every_block" "$table" >/dev/null
        end=${EPOCHREALTIME/./}
        export_times+=($((middle - start)))
        values_times+=($((end - middle)))
    else
        start=${EPOCHREALTIME/./}
        "$tool" values --export "$every_block" "$table" >/dev/null
        middle=${EPOCHREALTIME/./}
        "$tool" export --export "$every_block" "$table" >/dev/null
        end=${EPOCHREALTIME/./}
        values_times+=($((middle - start)))
        export_times+=($((end - middle)))
    fi
done
median_of() { printf '%s\n' "$@" | sort -n | sed -n "$(($# / 2 + 1))p"; }
export_median=$(median_of "${export_times[@]}")
values_median=$(median_of "${values_times[@]}")
printf 'side by side, all blocks: export median %d.%03d ms, values median %d.%03d ms, values/export %d.%02d\n' \
    $((export_median / 1000)) $((export_median % 1000)) $((values_median / 1000)) $((values_median % 1000)) \
    $((values_median / export_median)) $((values_median * 100 / export_median % 100))
