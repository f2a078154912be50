#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 19 and runs one of them.
#
#   fuzz/run.sh leap_second_kernel [seconds]   kernel text, inputs up to 4096 bytes
#   fuzz/run.sh c04_line [seconds]             one C04 or Bulletin A line (or a small table), up to 1024 bytes
#
# The default run lasts 600 s. The working corpus grows in
# build/fuzz/corpus/<target> (seeded from fuzz/corpus/<target>); crashing
# inputs land in build/fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: fuzz/run.sh leap_second_kernel|c04_line [seconds]}
seconds=${2:-600}
case "$target" in
  leap_second_kernel) max_len=4096 ;;
  c04_line) max_len=1024 ;;
  *) echo "unknown target $target" >&2; exit 2 ;;
esac

# clang 14 cannot compile libstdc++ 12's std::expected; clang 19 can.
if ! command -v clang++-19 >/dev/null || [ ! -d /usr/lib/llvm-19/lib/clang/19/lib/linux ]; then
  as_root=(); [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq clang-19 libclang-rt-19-dev >/dev/null
fi

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-19 \
  -DEPHEMERIS_BUILD_FUZZERS=ON -DBUILD_TESTING=OFF -DEPHEMERIS_WERROR=ON >/dev/null
cmake --build "$build" --target "${target}_fuzzer" -j2

corpus="$build/corpus/$target"
artifacts="$build/artifacts/$target"
mkdir -p "$corpus" "$artifacts"
cp -n fuzz/corpus/"$target"/* "$corpus"/
exec "$build/fuzz/${target}_fuzzer" "$corpus" -dict="fuzz/$target.dict" -max_len="$max_len" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$artifacts/"
