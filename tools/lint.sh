#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Static checks: clang-tidy and cppcheck over the driver sources as both
# builds compile them (the image build's and the host build's compile
# databases), clang-format over every C++ source. Any finding fails.
#
# Usage: tools/lint.sh [tidy|cppcheck|format]...   (no argument: all three)
# tidy and cppcheck need build/image and build/host configured
# (cmake --preset image; cmake --preset host); ./test does that first.
set -uo pipefail
cd "$(dirname "$0")/.."

readonly firmware_dir=firmware
readonly databases=(build/image build/host)

# The driver sources a compile database builds, one per line, each once.
driver_sources() {
  python3 - "$1/compile_commands.json" "$PWD" "$firmware_dir" <<'EOF'
import json, os, re, sys
database, root, prefix = sys.argv[1:]
pattern = re.compile(r"%s/.+\.cpp$" % re.escape(prefix))
seen = set()
for entry in json.load(open(database)):
    path = os.path.relpath(os.path.join(entry["directory"], entry["file"]), root)
    if pattern.fullmatch(path) and path not in seen:
        seen.add(path)
        print(path)
EOF
}

need_database() {
  [[ -f $1/compile_commands.json ]] && return 0
  echo "lint: $1/compile_commands.json is missing; configure that build first" >&2
  return 1
}

# One clang-tidy run, its output in one piece (runs go two at a time) and
# without the compiler's count of the warnings it filtered away.
tidy_one() {
  local database=$1 source=$2 output status
  shift 2
  output=$(clang-tidy -p "$database" --quiet "$@" "$source" 2>&1)
  status=$?
  [[ -n $output ]] && grep -v -E '^[0-9]+ warnings? generated\.$' <<<"$output"
  return $status
}
export -f tidy_one

tidy() {
  local status=0 db sources
  for db in "${databases[@]}"; do
    need_database "$db" || return 1
    local extra=()
    # clang-tidy 14 reports every include that follows one of the freestanding
    # Windows-target headers (stddef.h, stdint.h) as a duplicate include. The
    # image build's run leaves that one check to the host build's run.
    [[ $db == build/image ]] && extra=(--checks=-readability-duplicate-include)
    mapfile -t sources < <(driver_sources "$db")
    echo "clang-tidy: ${#sources[@]} driver sources as $db compiles them"
    printf '%s\n' "${sources[@]}" |
      xargs -P 2 -I '{}' bash -c 'tidy_one "$@"' tidy_one "$db" '{}' "${extra[@]}" || status=1
  done
  return $status
}

cppcheck_sources() {
  local status=0 db
  for db in "${databases[@]}"; do
    need_database "$db" || return 1
    echo "cppcheck: driver sources as $db compiles them"
    # missingIncludeSystem: the compiler's own headers are not given to it.
    # useStlAlgorithm: freestanding code has no <algorithm> to use.
    cppcheck --project="$db/compile_commands.json" --quiet --inline-suppr --error-exitcode=1 \
      --enable=warning,style,performance,portability --std=c++20 \
      --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
      --file-filter="*$firmware_dir/*" \
      --template='{file}:{line}:{column}: {severity}: {message} [{id}]' || status=1
  done
  return $status
}

format() {
  local files
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
  else
    mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
  fi
  echo "clang-format: ${#files[@]} C++ sources"
  clang-format --dry-run --Werror "${files[@]}"
}

status=0
for check in "${@:-tidy cppcheck format}"; do
  for name in $check; do
    case $name in
    tidy) tidy || status=1 ;;
    cppcheck) cppcheck_sources || status=1 ;;
    format) format || status=1 ;;
    *)
      echo "usage: $0 [tidy|cppcheck|format]..." >&2
      exit 2
      ;;
    esac
  done
done
exit $status
