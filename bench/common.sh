# Sourced by the benchmark scripts: finds the tree, builds what a script
# needs in the benchmark build directory, and re-runs the script inside a
# private network namespace, so that nothing a benchmark sends can leave
# the machine.
#
#   bench_build TARGET...   configure build-bench (Release) if needed, build
#   bench_floor             build the bare C lock-step floor program
#   bench_in_netns "$@"     re-exec the calling script under scripts/netns-run
# env: KOV_BENCH_BUILD   build directory (default build-bench in the tree)
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KOV_BENCH_BUILD:-$root/build-bench}

bench_build() {
    "$root/scripts/install-deps" build bench
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DBUILD_TESTING=OFF >/dev/null
    fi
    cmake --build "$build" -j2 --target "$@" >"$build/bench-build.log" 2>&1 || {
        tail -n 30 "$build/bench-build.log" >&2
        exit 1
    }
}

# The bare C lock-step floor (bench/lockstep-floor.c) beside the build.
bench_floor() {
    mkdir -p "$build/bench"
    cc -O2 -Wall -o "$build/bench/lockstep-floor" "$root/bench/lockstep-floor.c"
}

bench_in_netns() {
    if [ -z "${KOV_BENCH_NETNS:-}" ]; then
        KOV_BENCH_NETNS=1 exec "$root/scripts/netns-run" "$0" "$@"
    fi
}
