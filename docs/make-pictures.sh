#!/usr/bin/env bash
# Draws the README's pictures on Qt's offscreen platform: the window at
# start, the window after a batch against the local logo service, the
# logos that batch made, and logos of titles of different lengths. Run from anywhere after a build of the ci preset.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/ci"
export QT_QPA_PLATFORM=offscreen

cmake --build "$build" --target quillmark_screenshot quillmark-logo-service

work="$(mktemp -d)"
log="$work/service.log"
"$build/bin/quillmark-logo-service" --port 0 > "$log" &
service=$!
trap 'kill "$service" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  grep -q listening "$log" && break
  sleep 0.1
done
host="$(sed -n 's|.*http://\([^/]*\)/.*|\1|p' "$log")"

"$build/app/quillmark_screenshot" "$root/docs/main-window.png"
(cd "$work" && "$build/app/quillmark_screenshot" "$root/docs/window-after-batch.png" "$host" \
  "Quillmark" "青山书屋" "Blue Harbour Cafe" "晨光科技")
mkdir -p "$root/docs/logos"
for n in 1 2 3 4; do cp "$work/$n.png" "$root/docs/logos/$n.png"; done
mkdir -p "$work/titles" "$root/docs/titles"
(cd "$work/titles" && "$build/app/quillmark_screenshot" "$work/titles/window.png" "$host" \
  "Logo" "Northwind Studio" "北京晨光科技有限公司" "Northwind Studio Creative Agency" \
  "Blue Harbour Cafe and Northwind Studio Creative Agency Partners")
for n in 1 2 3 4 5; do cp "$work/titles/$n.png" "$root/docs/titles/$n.png"; done
echo "pictures written to $root/docs"
