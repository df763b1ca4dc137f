#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# The firmware-level tests: both driver images under OVMF in QEMU (TCG), each
# scenario one or more power-ons with a time limit. Prints each scenario's
# result and time, then "N passed, M failed"; exits non-zero on any failure.
#   tests/qemu/run_suite.sh [--group shell|dispatched|volume|board|edk2|linux] [--keep DIR] [SCENARIO...]
# (linux: the Linux guest's scenarios; without --group only its end-to-end pair runs)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/tools/firmware_run/prepare.sh"
"$ROOT/tools/setup.sh" rig
ensure_images
ensure_ec_model
# Layers point one way: tests use tools, tools use sim. Nothing under tools/ or
# sim/ names a path under tests/ or imports a Python module only tests/ defines.
test_modules=$(cd "$ROOT/tests" && find . -name '*.py' -printf '%f\n' | sed 's/\.py$//' | sort -u | paste -sd'|')
if (cd "$ROOT" && grep -rnE "(^|[^A-Za-z0-9_])tests/|\"tests\"|^\s*(from|import) ($test_modules)\b" tools sim); then
  echo "the lines above reach from tools/ or sim/ into tests/" >&2
  exit 1
fi
# The harness's own readers first: a wrong reading would fail scenarios for nothing.
(cd "$ROOT/tests/qemu_rig" && python3 -B -m unittest -q test_port_log)
(cd "$ROOT/tests/qemu" && python3 -B -m unittest -q test_run_firmware)
exec python3 -B "$ROOT/tests/qemu/suite.py" "$QEMU_IMAGE_DIR" "$@"
