#!/usr/bin/env bash
# The safety net, run by CI after the main tests (see docs/safety.md):
#   1. the whole project built with AddressSanitizer and UndefinedBehaviorSanitizer
#      (g++, build-asan) and every test run in it, windows included (offscreen);
#   2. the libFuzzer targets (clang++, build-fuzz), each run from a copy of its
#      committed seed corpus.
# Any failure, leak, sanitizer report or broken fuzz invariant ends the script
# with a non-zero status.
#
#   bash scripts/safety.sh          both parts
#   bash scripts/safety.sh asan     sanitizer build and its tests only
#   bash scripts/safety.sh fuzz     fuzz targets only
#
# KALIBRON_FUZZ_SECONDS (default 60) is each fuzz target's run time.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
FUZZ_SECONDS=${KALIBRON_FUZZ_SECONDS:-60}
JOBS=$(nproc)

install_deps() {
    bash scripts/setup.sh deps clang libclang-rt-14-dev
}

# Sanitizers stop at the first report; leaks are reported too, except the
# third-party ones listed in scripts/lsan.supp.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0

sanitizer_build() {
    echo "== Sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer) in build-asan"
    # -O1: readable stack traces at a bearable speed; asserts stay on.
    # GCC's sanitizer instrumentation raises false -Wmaybe-uninitialized
    # warnings (in std::regex and std::function, for one), and GCC's manual
    # advises against -Werror with sanitizers; the normal build keeps it.
    cmake -S . -B build-asan -G Ninja -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS="-Wno-maybe-uninitialized" \
        -DKALIBRON_SANITIZE=ON -DKALIBRON_BENCHMARKS=OFF
    cmake --build build-asan --parallel "$JOBS"
    (cd build-asan && LC_ALL=C TZ=UTC QT_QPA_PLATFORM=offscreen \
        ctest --output-on-failure --timeout 600 -j "$JOBS")
}

fuzz_targets() {
    local f
    for f in tests/fuzz/fuzz_*.cpp; do
        basename "$f" .cpp
    done
}

run_fuzzer() {
    local target=$1 work=build-fuzz/run/$1
    rm -rf "$work"
    mkdir -p "$work/corpus"
    cp tests/fuzz/corpus/"$target"/* "$work/corpus/"
    local args=(-max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 -max_len=8192
                -print_final_stats=1 -artifact_prefix="$work/")
    [[ -f tests/fuzz/$target.dict ]] && args+=(-dict="tests/fuzz/$target.dict")
    # libFuzzer's own leak check runs after every input; no suppressions here.
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 LSAN_OPTIONS= \
        "build-fuzz/bin/$target" "${args[@]}" "$work/corpus" >"$work/log" 2>&1
}

fuzz() {
    echo "== Fuzz targets (libFuzzer, clang++) in build-fuzz, ${FUZZ_SECONDS} s each"
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKALIBRON_FUZZ=ON -DKALIBRON_BENCHMARKS=OFF
    cmake --build build-fuzz --target kalibron_fuzz_all --parallel "$JOBS"

    # The targets run side by side, one per core.
    local target status=0
    local -A pids=()
    for target in $(fuzz_targets); do
        run_fuzzer "$target" &
        pids[$target]=$!
    done
    for target in "${!pids[@]}"; do
        local log=build-fuzz/run/$target/log
        if wait "${pids[$target]}"; then
            echo "$target: ok, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs"
        else
            status=1
            echo "$target: FAILED; the input that broke it is kept in build-fuzz/run/$target/"
            tail -n 60 "$log"
        fi
    done
    return "$status"
}

case "${1:-all}" in
    asan)
        install_deps
        sanitizer_build
        ;;
    fuzz)
        install_deps
        fuzz
        ;;
    all)
        install_deps
        sanitizer_build
        fuzz
        ;;
    *)
        echo "usage: bash scripts/safety.sh [all|asan|fuzz]" >&2
        exit 2
        ;;
esac
