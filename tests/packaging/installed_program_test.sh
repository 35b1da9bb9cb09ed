#!/usr/bin/env bash
# The installed layout for real: the built .deb extracted into a scratch root
# (no system install), its desktop entry's command run as an unprivileged
# user with HOME and the XDG folders in a scratch folder, one batch pressed by
# the press_start hand: the logo service starts from the extracted folder and
# the logo lands in <pictures>/Quillmark, with nothing written beside the
# program. Then the build tree's program, which keeps its logo beside itself.
#
# As root each program runs in a network namespace of its own, so the
# built-in port of the logo service is free whatever else runs here; every
# service a run started is ended before the test ends.
#
#   installed_program_test.sh BUILD_DIR PRESS_START_LIBRARY
set -euo pipefail
build="$1"

fail() { echo "FAIL: $*" >&2; exit 1; }

# In /tmp, which every user may enter, whatever the build folder's modes.
scratch="$(mktemp -d /tmp/quillmark-installed.XXXXXX)"
chmod 755 "$scratch"
hand="$scratch/press_start.so"
cp "$2" "$hand"
chmod 644 "$hand"
namespaces=()
services_of() {  # the logo services running the program $1 in a namespace we made
  local pid exe ns
  for pid in /proc/[0-9]*; do
    exe="$(readlink "$pid/exe" 2>/dev/null || true)"
    [ "$exe" = "$1" ] || continue
    ns="$(readlink "$pid/ns/net" 2>/dev/null || true)"
    if [ "$(id -u)" -ne 0 ] || printf '%s\n' "${namespaces[@]}" | grep -qxF "$ns"; then
      echo "${pid#/proc/}"
    fi
  done
}
end_services() {
  local program pid
  for program in "$scratch/root/usr/bin/quillmark-logo-service" "$build/bin/quillmark-logo-service"; do
    for pid in $(services_of "$program"); do kill -KILL "$pid" 2>/dev/null || true; done
  done
}
trap 'end_services; rm -f "$build/bin/1.png"; chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
listing() { find "$1" -mindepth 1 -printf '%P %s %T@\n' | sort; }

# Runs "$@" as the program would be started from the menu, with the hand in
# it; prints the hand's last line. As root: in a new network namespace (its
# name is noted for end_services) and as the user nobody.
run_program() {
  local user_env=("$@")
  if [ "$(id -u)" -eq 0 ]; then
    unshare --net -- bash -c '
      ip link set lo up
      readlink /proc/self/ns/net > "$0/netns"
      exec setpriv --reuid=65534 --regid=65534 --clear-groups -- timeout 120 "$@"' "$scratch" "${user_env[@]}"
  else
    timeout 120 "${user_env[@]}"
  fi
}

# 1. The package, extracted.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack could not make the package"; }
deb="$(ls "$scratch"/package/quillmark_*.deb)"
dpkg-deb -x "$deb" "$scratch/root"
bin="$scratch/root/usr/bin"
desktop="$scratch/root/usr/share/applications/io.github.quillmark.Quillmark.desktop"
[ -f "$desktop" ] || fail "the package has no desktop entry"
exec_line="$(sed -n 's/^Exec=//p' "$desktop")"
[ -n "$exec_line" ] || fail "the desktop entry has no Exec line"

# 2. A user of our own making: home, XDG folders (pictures renamed, to show
#    they are followed), runtime folder.
home="$scratch/home"
mkdir -p "$home/.config" "$scratch/run"
printf 'XDG_PICTURES_DIR="$HOME/Bilder"\n' > "$home/.config/user-dirs.dirs"
chmod 700 "$scratch/run"
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$scratch"
  chown -R 65534:65534 "$home" "$scratch/run"
else
  chmod a-w "$bin"  # what root-owned folders are to an ordinary user
fi
listing "$bin" > "$scratch/bin-before"
user_env=(env -i "PATH=$bin:/usr/bin:/bin" "HOME=$home" "XDG_CONFIG_HOME=$home/.config"
  "XDG_RUNTIME_DIR=$scratch/run" "QT_QPA_PLATFORM=offscreen" "LD_PRELOAD=$hand"
  "QUILLMARK_TEST_TITLES=Quillmark" "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0")
# The Exec line as the menu runs it (a bare program name, found on PATH).
read -r -a command <<< "$exec_line"
output="$(cd "$home" && run_program "${user_env[@]}" "${command[@]}" 2> "$scratch/program.log")" ||
  { cat "$scratch/program.log" >&2; fail "the installed program failed"; }
[ "$(id -u)" -ne 0 ] || namespaces+=("$(cat "$scratch/netns")")
echo "installed program: $output"
[ "$output" = "saved in $home/Bilder/Quillmark" ] || { cat "$scratch/program.log" >&2; fail "unexpected: $output"; }
head -c 8 "$home/Bilder/Quillmark/1.png" | od -An -tx1 | grep -q '89 50 4e 47 0d 0a 1a 0a' ||
  fail "1.png in the pictures folder is not a PNG"
[ -n "$(services_of "$bin/quillmark-logo-service")" ] || fail "no logo service runs from the extracted folder"
listing "$bin" > "$scratch/bin-after"
diff "$scratch/bin-before" "$scratch/bin-after" || fail "something was written beside the installed program"
end_services

# 3. The build tree's program keeps its logo beside itself.
rm -f "$build/bin/1.png"
build_env=(env "QT_QPA_PLATFORM=offscreen" "LD_PRELOAD=$hand" "QUILLMARK_TEST_TITLES=Quillmark"
  "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0")
if [ "$(id -u)" -eq 0 ]; then
  output="$(unshare --net -- bash -c 'ip link set lo up; readlink /proc/self/ns/net > "$0/netns"; exec timeout 120 "$@"' \
    "$scratch" "${build_env[@]}" "$build/bin/quillmark" 2> "$scratch/build-program.log")" ||
    { cat "$scratch/build-program.log" >&2; fail "the build tree's program failed"; }
  namespaces+=("$(cat "$scratch/netns")")
else
  output="$(timeout 120 "${build_env[@]}" "$build/bin/quillmark" 2> "$scratch/build-program.log")" ||
    { cat "$scratch/build-program.log" >&2; fail "the build tree's program failed"; }
fi
echo "build-tree program: $output"
[ "$output" = "saved in $build/bin" ] || { cat "$scratch/build-program.log" >&2; fail "unexpected: $output"; }
[ -n "$(services_of "$build/bin/quillmark-logo-service")" ] || fail "no logo service runs from the build tree"
echo "passed"
