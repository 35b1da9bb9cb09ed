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
