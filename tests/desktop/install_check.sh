#!/usr/bin/env bash
# Installs the build into a scratch root as a package would (DESTDIR) and
# checks it file by file: the program folder with what the programs find
# beside them, the links in bin, the launcher entry (validated when the
# desktop's validator is there), the icons and the manual page. Then runs the
# installed companion, which must take its data folder from XDG because
# DefSet.txt lies beside it, and starts the installed player offscreen.
# Usage: install_check.sh BUILD_DIR
set -euo pipefail
build="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
DESTDIR="$root/dest" cmake --install "$build" --prefix /usr >/dev/null
prefix="$root/dest/usr"

fail() { echo "install_check: $*" >&2; exit 1; }
for f in lib/plinka/plinka lib/plinka/plinkactl; do
  [ -x "$prefix/$f" ] || fail "$f is not installed as a program"
done
for f in lib/plinka/ToolBar.bmp lib/plinka/ReadMe.htm lib/plinka/Cover.jpg lib/plinka/DefSet.txt \
         share/applications/plinka.desktop share/man/man1/plinkactl.1; do
  [ -s "$prefix/$f" ] || fail "$f is missing"
done
for size in 16 32 48 64 128 256; do
  [ -s "$prefix/share/icons/hicolor/${size}x${size}/apps/plinka.png" ] || fail "no ${size}px icon"
done
for program in plinka plinkactl; do
  [ "$(readlink "$prefix/bin/$program")" = "../lib/plinka/$program" ] || fail "bin/$program is not the link"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/plinka.desktop" || fail "the launcher entry is not valid"
fi

# The installed companion through its link: help, and a data folder under
# XDG_DATA_HOME.
"$prefix/bin/plinkactl" --help | grep -q "plinkactl \[--data DIR\] VERB" || fail "plinkactl --help"
export HOME="$root/home" XDG_DATA_HOME="$root/home/data" XDG_RUNTIME_DIR="$root/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset PLINKA_DATA
"$prefix/bin/plinkactl" build --count 1 >/dev/null 2>&1 || true
[ -d "$XDG_DATA_HOME/Quillmar/Plinka" ] || fail "the data folder is not under XDG_DATA_HOME"

# The installed player starts and keeps running until it is ended.
QT_QPA_PLATFORM=offscreen PLINKA_SILENT=1 "$prefix/bin/plinka" >/dev/null 2>&1 &
player=$!
sleep 3
kill -0 "$player" 2>/dev/null || fail "the installed player did not stay up"
kill "$player"
wait "$player" 2>/dev/null || true
echo "install_check: all installed files in place"
