#!/usr/bin/env bash
# Checks the Debian package that `cpack -G DEB` made: lintian (no errors), the
# launcher, the AppStream data, the icons and the object-file type; then
# unpacks it into a scratch root with `dpkg -x`, starts the unpacked program
# under Xvfb and checks that it finds its help (F1 opens the help window on the
# help file's own title) and its Objects folder (the Import dialog lists the
# four tutorial objects).
# Usage: check_package.sh PACKAGE.deb PROBE_DIR
#   PROBE_DIR: build/tests/package_probe, the Qt plugin that reports the
#   program's windows (tests/package/window_probe.cpp).
set -euo pipefail

if [[ ${1:-} == --window ]]; then
  # Under Xvfb (see the end of this script).
  root=$2 probe=$3 work=$4
  log=$work/probe.log
  wait_for() {  # wait_for PATTERN WHAT: a line of the probe, within 30 s
    local deadline=$((SECONDS + 30))
    until grep -qE "$1" "$log"; do
      if ((SECONDS > deadline)) || ! kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: $2 (no line matching '$1')"; echo "-- probe:"; cat "$log"; echo "-- stderr:"; cat "$work/stderr.log"
        exit 1
      fi
      sleep 0.1
    done
    echo "ok: $2"
  }
  mkdir -p -m 700 "$work/run" && mkdir -p "$work/home"
  HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    QT_PLUGIN_PATH=$probe QT_QPA_GENERIC_PLUGINS=fernweaveprobe \
    "$root/usr/bin/fernweave" >"$log" 2>"$work/stderr.log" &
  pid=$!
  trap 'kill "$pid" 2>/dev/null || true' EXIT
  wait_for '^window: Fernweave 2.0 \(fernweave::TfrmMain\)$' "the main window shows"
  win=$(xdotool search --sync --onlyvisible --name '^Fernweave 2.0$' | head -n 1)
  # The splash gives way after about a second; keys then go to the main window.
  deadline=$((SECONDS + 30))
  while xdotool search --onlyvisible --name '^About Fernweave$' >/dev/null; do
    ((SECONDS < deadline)) || { echo "FAIL: the splash stays"; exit 1; }
    sleep 0.1
  done
  xdotool windowfocus --sync "$win" key F1
  wait_for '^window: Fernweave Help.* \(fernweave::TfrmHelp\)$' "F1 opens the help file"
  xdotool windowfocus --sync "$win" key ctrl+i
  wait_for "^files: $root/usr/lib/fernweave/Objects: grass.ifs leaf.ifs snowflake.ifs tree.ifs\$" \
    "the Import dialog lists the tutorial objects"
  exit 0
fi

deb=$(realpath "$1")
probe=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "-- dpkg-deb -I"
dpkg-deb -I "$deb"
echo "-- lintian"
lintian --fail-on error --display-info "$deb" || { echo "FAIL: lintian reports errors"; exit 1; }

root=$work/root
dpkg -x "$deb" "$root"
echo "-- hardening of the packaged binaries"
for bin in "$root"/usr/lib/fernweave/fernweave "$root"/usr/lib/fernweave/fernweave-render; do
  dynamic=$(readelf -d "$bin")
  symbols=$(readelf --dyn-syms -W "$bin")
  grep -q 'BIND_NOW' <<<"$dynamic" || { echo "FAIL: $bin is not linked with -z now"; exit 1; }
  readelf -lW "$bin" | grep -q GNU_RELRO || { echo "FAIL: $bin has no RELRO"; exit 1; }
  grep -q '__stack_chk_fail' <<<"$symbols" || { echo "FAIL: $bin has no stack protector"; exit 1; }
  grep -qE '__[a-z]+_chk\b' <<<"$symbols" || { echo "FAIL: $bin uses no fortified functions"; exit 1; }
  echo "$(basename "$bin"): BIND_NOW, RELRO, stack protector, $(grep -oE '__[a-z]+_chk\b' <<<"$symbols" | sort -u | tr '\n' ' ')"
done
share=$root/usr/share
echo "-- launcher, AppStream data, icons"
desktop-file-validate "$share/applications/fernweave.desktop"
grep -qx 'Exec=fernweave %f' "$share/applications/fernweave.desktop"
appstreamcli validate --pedantic --no-net "$share/metainfo/com.lumenfold.fernweave.metainfo.xml"
for size in 16 32 48 64 128 256; do
  got=$(identify -format '%m %wx%h' "$share/icons/hicolor/${size}x${size}/apps/fernweave.png")
  [[ $got == "PNG ${size}x${size}" ]] || { echo "FAIL: the ${size} px icon is $got"; exit 1; }
done
test -s "$share/icons/hicolor/scalable/apps/fernweave.svg"
# The marker by which the program knows it is installed.
test -f "$root/usr/lib/fernweave/fernweave.installed"

echo "-- object files by their first bytes"
update-mime-database "$share/mime" 2>/dev/null
update-desktop-database "$share/applications"
grep -qx 'application/x-fernweave-object=fernweave.desktop;' "$share/applications/mimeinfo.cache"
content_type() {
  XDG_DATA_DIRS=$share:/usr/share XDG_DATA_HOME=$work/none gio info -a standard::content-type "$1" |
    sed -n 's/^ *standard::content-type: //p'
}
object_type=$(content_type "$root/usr/lib/fernweave/Objects/snowflake.ifs")
printf 'IFS text of another program\n' >"$work/other.ifs"
other_type=$(content_type "$work/other.ifs")
echo "snowflake.ifs: $object_type; a text file named other.ifs: $other_type"
[[ $object_type == application/x-fernweave-object && $other_type == text/plain ]]

echo "-- the unpacked program under Xvfb"
xvfb-run -a -s '-screen 0 1280x1024x24' bash "$0" --window "$root" "$probe" "$work"
echo "package checks passed"
