#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Renders the console during the update prompt to docs/update-prompt.png
# (or to the path given).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/tools/firmware_run/prepare.sh"
"$ROOT/tools/setup.sh" screenshot
ensure_images
ensure_ec_model
exec python3 -B "$ROOT/tests/qemu/screenshot.py" "$QEMU_IMAGE_DIR" "${1:-$ROOT/docs/update-prompt.png}"
