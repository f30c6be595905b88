#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets for the RTF and HTML text extractors with clang and runs each for a
# bounded time from the seed corpus. Usage: bash fuzz/run.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
out=build/fuzz
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I.)

clang++ "${flags[@]}" fuzz/rtf_text_fuzz.cpp drop/rtf_text.cpp common/json.cpp \
    $(pkg-config --cflags --libs icu-uc) -o "$out/rtf_text_fuzz"
clang++ "${flags[@]}" fuzz/html_text_fuzz.cpp drop/html_text.cpp common/json.cpp \
    $(pkg-config --cflags --libs libxml-2.0) -o "$out/html_text_fuzz"

for target in rtf html; do
    # New inputs go to a working corpus in the build tree; the checked-in seeds stay as they are.
    mkdir -p "$out/corpus-$target"
    "$out/${target}_text_fuzz" "$out/corpus-$target" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$out/$target-" -print_final_stats=1 2>&1 | tail -n 12
done
