# Sourced by scripts/run and scripts/test: installs what is missing and
# finds the top of the tree.
set -euo pipefail

QUILLMARK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Installs every package of scripts/packages.txt that dpkg does not report
# as installed: with apt-get as root, through sudo otherwise.
install_missing_packages() {
  local wanted missing=()
  while read -r wanted; do
    wanted="${wanted%%#*}"
    wanted="${wanted//[[:space:]]/}"
    [ -n "$wanted" ] || continue
    if ! dpkg-query -W -f='${Status}' "$wanted" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$wanted")
    fi
  done < "$QUILLMARK_ROOT/scripts/packages.txt"
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# Runs the tests of a CTest preset, like `ctest --preset <preset> [args...]`, and then
# fails when a test was skipped (or disabled) that tests/allowed-skips.txt
# does not list for that preset: a skipped test proves nothing.
run_tests() {
  local preset=$1 log status=0 name unexpected=()
  shift
  log=$(mktemp)
  ctest --preset "$preset" "$@" 2>&1 | tee "$log" || status=$?
  while IFS= read -r name; do
    awk -v preset="$preset" -v name="$name" '$1 == preset && $2 == name { found = 1 } END { exit !found }' \
      "$QUILLMARK_ROOT/tests/allowed-skips.txt" || unexpected+=("$name")
  done < <(sed -nE 's/^[[:space:]]*[0-9]+ - (.+) \((Skipped|Disabled)\)$/\1/p' "$log")
  rm -f "$log"
  if [ ${#unexpected[@]} -gt 0 ]; then
    echo "Skipped in the $preset run, and not listed in tests/allowed-skips.txt:" >&2
    printf '  %s\n' "${unexpected[@]}" >&2
    return 1
  fi
  return "$status"
}
