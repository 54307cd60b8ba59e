#!/usr/bin/env bash
# Builds the Debian package from the build tree with cpack, as a user would, and inspects it: every
# file a system install needs is in it (each icon size the build draws included), its dependencies
# came from dpkg-shlibdeps, lintian finds no error, and the AppStream and desktop files it carries
# validate. Usage: package_test.sh BUILD_DIR. Exits 77 (skipped) where a checking tool is missing.
set -uo pipefail
build=$1
for tool in cpack dpkg-deb lintian appstreamcli desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup installs it)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; exit 1; }
debs=("$work"/out/quembrel_*.deb)
[ -f "${debs[0]}" ] || { cat "$work/cpack.log"; fail "no .deb made"; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
expected=(
  /usr/bin/quembrel /usr/bin/quembrel-render
  /usr/lib/lv2/quembrel.lv2/quembrel.so /usr/lib/lv2/quembrel.lv2/manifest.ttl
  /usr/lib/lv2/quembrel.lv2/quembrel.ttl /usr/lib/lv2/quembrel.lv2/presets.ttl
  /usr/share/quembrel/bank.tsv /usr/share/quembrel/sounds/acid-bass.kv7 /usr/share/quembrel/riffs/acid-line.riff
  /usr/share/applications/quembrel.desktop /usr/share/metainfo/org.quembrel.Quembrel.metainfo.xml
  /usr/share/man/man1/quembrel.1.gz /usr/share/man/man1/quembrel-render.1.gz
  /usr/share/doc/quembrel/copyright /usr/share/doc/quembrel/changelog.gz
)
for icon in "$build"/ui/resources/icon_*.png; do
  size=$(basename "$icon" .png)
  size=${size#icon_}
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/quembrel.png")
done
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done
echo "contents: $(grep -cv '/$' "$work/contents") files, $(grep -c '^/usr/share/icons/.*\.png$' "$work/contents") icon sizes"

depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for library in libqt6widgets6 librtaudio6 libjack; do
  [[ $depends == *"$library"* ]] || fail "Depends does not name $library"
done

lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
cat "$work/lintian.log"
grep -q '^E: ' "$work/lintian.log" && fail "lintian reports errors"

dpkg-deb -x "$deb" "$work/root"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.quembrel.Quembrel.metainfo.xml" ||
  fail "appstreamcli validate"
desktop-file-validate "$work/root/usr/share/applications/quembrel.desktop" || fail "desktop-file-validate"

[ "$failures" -eq 0 ] || exit 1
echo "the package is complete and validates"
