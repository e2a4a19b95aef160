#!/usr/bin/env bash
# Times "turnpost --version", which loads no Qt, against the same command-line code linked with Qt
# (bench/qt/VersionWithQt.cpp), RUNS times each (default 200), taking turns; prints the best and the
# median and how many libraries each loads. Built for release in build-bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BENCH_BUILD:-build-bench}
runs=${RUNS:-200}

scripts/install-deps.sh
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTURNPOST_TESTS=OFF >/dev/null
ninja -C "$build" -j2 turnpost tp_version_qt >/dev/null

/usr/bin/python3 - "$build/bin/turnpost" "$build/bin/tp_version_qt" "$runs" <<'PY'
import statistics, subprocess, sys, time

turnpost, with_qt, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
programs = {"turnpost --version": turnpost, "with Qt linked": with_qt}
times = {name: [] for name in programs}
for _ in range(runs):
    for name, path in programs.items():
        start = time.perf_counter()
        subprocess.run([path, "--version"], stdout=subprocess.DEVNULL, check=True)
        times[name].append(time.perf_counter() - start)
print(f"{'':22}{'best ms':>9}{'median ms':>11}{'libraries':>11}")
for name, path in programs.items():
    libraries = len([l for l in subprocess.run(["ldd", path], capture_output=True, text=True).stdout.splitlines()
                     if "=>" in l or "ld-linux" in l])
    samples = times[name]
    print(f"{name:22}{min(samples) * 1000:9.2f}{statistics.median(samples) * 1000:11.2f}{libraries:11}")
PY
