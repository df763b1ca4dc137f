#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Builds the formatter's fuzz target (preset "fuzz": clang with libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs it for a bounded
# time or number of inputs. Exits non-zero on a finding; the input that
# triggered it is left in build/fuzz/ as crash-* (or leak-*, timeout-*).
#
#   tests/format/run_fuzz.sh                 # 45 seconds of fuzzing (the default)
#   tests/format/run_fuzz.sh 3600            # longer: any number of seconds
#   tests/format/run_fuzz.sh runs=10000000   # a fixed number of inputs
#
# For an open-ended run on several cores, call the target directly, e.g.
#   build/fuzz/tests/format/format_fuzz -jobs=8 -workers=8 build/fuzz/format_corpus
# The corpus in build/fuzz/format_corpus grows from run to run.
set -eu
cd "$(dirname "$0")/../.."

LIMIT=${1:-45}
case "$LIMIT" in
  runs=*[!0-9]* | runs=) echo "usage: $0 [seconds | runs=N]" >&2; exit 2 ;;
  runs=*) BOUND="-runs=${LIMIT#runs=}" ;;
  *[!0-9]* | "") echo "usage: $0 [seconds | runs=N]" >&2; exit 2 ;;
  *) BOUND="-max_total_time=$LIMIT" ;;
esac

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/format_corpus
exec build/fuzz/tests/format/format_fuzz "$BOUND" -timeout=10 -print_final_stats=1 \
  -artifact_prefix=build/fuzz/ build/fuzz/format_corpus
