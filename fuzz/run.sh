#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 19 (ASan and UBSan on every library)
# and runs them, each for the given time, from its committed seed corpus.
#
#   fuzz/run.sh [--jobs N] [TARGET|all] [SECONDS]
#
#   spk_kernel           SPK kernel bytes: file and in-memory readers, centre chains, the engine; up to 16384 bytes
#   leap_second_kernel   leap-second kernel text, up to 4096 bytes
#   c04_line             one C04 or Bulletin A line (or a small table), up to 1024 bytes
#   all                  every target in turn (the default)
#
# SECONDS is the time of each target (default 600). --jobs sets the parallel
# compile jobs (default: the number of processors, at most 8). The working
# corpus grows in build/fuzz/corpus/<target> (seeded from fuzz/corpus/<target>
# on every run); crashing inputs land in build/fuzz/artifacts/<target>/ and
# each run's log in build/fuzz/logs/<target>.log. Prints each target's final
# figures and exits non-zero when any target reports a finding.
set -euo pipefail
cd "$(dirname "$0")/.."

targets_all=(spk_kernel leap_second_kernel c04_line)
jobs=$(nproc)
[ "$jobs" -gt 8 ] && jobs=8
usage() { echo "usage: fuzz/run.sh [--jobs N] [spk_kernel|leap_second_kernel|c04_line|all] [seconds]" >&2; exit 2; }
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --jobs) [ $# -ge 2 ] || usage; jobs=$2; shift ;;
    --jobs=*) jobs=${1#--jobs=} ;;
    -*) usage ;;
    *) positional+=("$1") ;;
  esac
  shift
done
[ ${#positional[@]} -le 2 ] || usage
target=${positional[0]:-all}
seconds=${positional[1]:-600}
[[ "$jobs" =~ ^[1-9][0-9]*$ && "$seconds" =~ ^[1-9][0-9]*$ ]] || usage
case "$target" in
  all) targets=("${targets_all[@]}") ;;
  spk_kernel | leap_second_kernel | c04_line) targets=("$target") ;;
  *) usage ;;
esac

max_len() {
  case "$1" in
    spk_kernel) echo 16384 ;;  # the DE421 excerpt seed is 14336 bytes
    leap_second_kernel) echo 4096 ;;
    c04_line) echo 1024 ;;
  esac
}

# clang 14 cannot compile libstdc++ 12's std::expected; clang 19 can.
if ! command -v clang++-19 >/dev/null || [ ! -d /usr/lib/llvm-19/lib/clang/19/lib/linux ]; then
  as_root=(); [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq clang-19 libclang-rt-19-dev >/dev/null
fi
# CMake and Ninja from the venv of scripts/test when the machine has none.
[ -x build/venv/bin/cmake ] && export PATH="$PWD/build/venv/bin:$PATH"

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-19 \
  -DEPHEMERIS_BUILD_FUZZERS=ON -DBUILD_TESTING=OFF -DEPHEMERIS_BUILD_PYTHON=OFF -DEPHEMERIS_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]/%/_fuzzer}"

failed=()
summary=()
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  log="$build/logs/$t.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  cp -n fuzz/corpus/"$t"/* "$corpus"/
  echo "== $t: ${seconds} s from $(ls "$corpus" | wc -l) inputs"
  status=0
  "$build/fuzz/${t}_fuzzer" "$corpus" -dict="fuzz/$t.dict" -max_len="$(max_len "$t")" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?
  # libFuzzer's last status line: coverage (cov, ft), corpus size, speed, memory.
  final=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 | sed -E 's/^#[0-9]+[[:space:]]+DONE[[:space:]]+//' || true)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  summary+=("$t: ${runs:-?} runs in ${seconds} s, ${final:-no final figures} (exit $status)")
  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    tail -n 60 "$log" >&2
  fi
done

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "finding in: ${failed[*]} (inputs in $build/artifacts/, logs in $build/logs/)" >&2
  exit 1
fi
