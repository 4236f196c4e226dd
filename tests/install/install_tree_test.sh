#!/usr/bin/env bash
# Installs the build into a fresh prefix with `cmake --install` and checks the
# tree: every program, library, resource and page, a RUNPATH of $ORIGIN only,
# `--help` on every program, and the README's demo run from the installed tree
# (its libsockhost.so preloaded into curl and wget, its KOVARI answering).
#   install_tree_test.sh SOURCE_DIR BUILD_DIR BIN_DIR
set -uo pipefail
source_dir=$1 build_dir=$2 bin_dir=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
source "$(dirname "$0")/checks.sh"

cmake --install "$build_dir" --prefix "$prefix" >/dev/null || { echo "FAILED: cmake --install"; exit 1; }
tree=$prefix/lib/quellmark
for file in KOVARI kovdiag quellmark-admin libZUL.so libsockhost.so libmsafd.so libqmwin.so \
  libkovinst.so resources/login.bmp resources/settings1.bmp splash/frame.htm splash/help.htm \
  ../../bin/kovdiag ../../sbin/quellmark-admin ../../share/applications/quellmark-kovdiag.desktop \
  ../../share/applications/quellmark-filter.desktop \
  ../../share/icons/hicolor/scalable/apps/quellmark.svg; do
  [ -e "$tree/$file" ] || fail "$file is not installed"
done
[ -d "$tree/Logs" ] || fail "Logs/ is not installed"
grep -qxF "Exec=$tree/KOVARI --administrator" "$prefix/share/applications/quellmark-filter.desktop" ||
  fail "the filter's menu entry does not start this tree's KOVARI"
# Nothing in the tree looks for a library in the build folder.
for file in "$tree"/*; do
  [ -f "$file" ] && head -c4 "$file" | grep -q ELF || continue
  runpath=$(readelf -d "$file" | sed -n 's/.*Library runpath: \[\(.*\)\]/\1/p')
  [ "$runpath" = '$ORIGIN' ] || fail "$(basename "$file") has RUNPATH '$runpath'"
  if ldd "$file" | grep -qF "$build_dir"; then fail "$(basename "$file") loads from the build folder"; fi
done

# --help answers with the usage and exit status 0, and starts nothing.
for program in "$tree/KOVARI" "$tree/kovdiag" "$prefix/bin/kovdiag" "$prefix/sbin/quellmark-admin"; do
  output=$(timeout 10 env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help 2>&1)
  status=$?
  [ "$status" -eq 0 ] || fail "$program --help ended with $status"
  grep -q '^usage: ' <<<"$output" || fail "$program --help shows no usage"
done
[ -z "$(ls -A "$tree/Logs")" ] || fail "--help wrote a log"

# The demo from the installed tree; the stand-in servers and the setup program
# are not part of it and come from the build.
QM_DEMO_TOOLS=$bin_dir "$source_dir/tests/demo/demo_test.sh" "$source_dir" "$tree" ||
  fail "the demo from the installed tree"
[ "$failures" -eq 0 ] && echo "installed tree: all checks passed"
exit "$failures"
