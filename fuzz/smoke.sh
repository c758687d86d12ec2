#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset) and runs each for a bounded time over a copy of
# its seed corpus, so that runs never write into the source tree. Inputs that crash are kept in
# build-fuzz/artifacts/. Skipped with a note when clang++ is missing.
#   FUZZ_SECONDS=60 bash fuzz/smoke.sh     a longer run of each target
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-12}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found, the fuzz targets were not run"
  exit 0
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=build-fuzz/artifacts
mkdir -p "$artifacts"

# target  corpus folder
targets=(
  "image/fuzz_png image/corpus_png"
  "image/fuzz_jpeg image/corpus_jpeg"
  "image/fuzz_bmp image/corpus_bmp"
  "model/fuzz_a3d model/corpus"
  "persist/fuzz_session persist/corpus"
)
status=0
for entry in "${targets[@]}"; do
  read -r target corpus <<<"$entry"
  name=$(basename "$target")
  mkdir -p "$work/$name"
  find "fuzz/$corpus" -maxdepth 1 -type f ! -name README -exec cp {} "$work/$name/" \;
  if build-fuzz/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz: $name ran ${seconds} s: $(grep -o 'stat::number_of_executed_units: [0-9]*' \
      "$work/$name.log" | grep -o '[0-9]*$' || echo '?') runs, no fault"
  else
    echo "fuzz: $name FAILED (inputs kept in $artifacts/):"
    tail -n 40 "$work/$name.log"
    status=1
  fi
done
exit $status
