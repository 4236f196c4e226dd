#!/usr/bin/env bash
# Builds the Debian package from this build with cpack and checks it: the file
# list, the Depends of Debian 12's Qt 6 and libcurl, the Recommends of its Wayland
# platform, and lintian without errors.
#   package_test.sh BUILD_DIR
set -uo pipefail
build_dir=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
source "$(dirname "$0")/checks.sh"

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$out" >/dev/null ||
  { echo "FAILED: cpack"; exit 1; }
package=$(ls "$out"/quellmark_*.deb)
files=$(dpkg-deb -c "$package" | awk '{print $6}')
for file in ./usr/lib/quellmark/KOVARI ./usr/lib/quellmark/kovdiag ./usr/lib/quellmark/quellmark-admin \
  ./usr/lib/quellmark/libZUL.so ./usr/lib/quellmark/libsockhost.so ./usr/lib/quellmark/libmsafd.so \
  ./usr/lib/quellmark/libqmwin.so ./usr/lib/quellmark/libkovinst.so \
  ./usr/lib/quellmark/resources/login.bmp ./usr/lib/quellmark/resources/settings1.bmp \
  ./usr/lib/quellmark/splash/frame.htm ./usr/bin/kovdiag ./usr/sbin/quellmark-admin \
  ./usr/share/applications/quellmark-kovdiag.desktop ./usr/share/applications/quellmark-filter.desktop \
  ./usr/share/icons/hicolor/scalable/apps/quellmark.svg ./usr/share/doc/quellmark/copyright \
  ./usr/share/man/man8/quellmark-admin.8.gz ./usr/share/man/man1/kovdiag.1.gz; do
  grep -qxF "$file" <<<"$files" || fail "$file is not in the package"
done
# Nothing of the build, the tests or the stand-ins is shipped.
printf '%s\n' "$files" | grep -E 'test|support-codes|account-server|rating-server|quellmark-setup' &&
  fail "the package ships test programs or stand-ins"
depends=$(dpkg-deb -f "$package" Depends)
for needed in libqt6widgets6 libqt6gui6 libqt6core6 libqt6dbus6 qt6-qpa-plugins libcurl4; do
  grep -q "$needed (>= " <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -q "qt6-wayland (>= " <<<"$(dpkg-deb -f "$package" Recommends)" ||
  fail "Recommends lacks qt6-wayland"
dpkg-deb -x "$package" "$out/tree"
readelf -S "$out/tree/usr/lib/quellmark/KOVARI" | grep -q qm_version ||
  fail "the packaged KOVARI lost its version section"
grep -q '^Exec=kovdiag$' "$out/tree/usr/share/applications/quellmark-kovdiag.desktop" ||
  fail "the menu entry does not start kovdiag"
grep -qxF 'Exec=/usr/lib/quellmark/KOVARI --administrator' \
  "$out/tree/usr/share/applications/quellmark-filter.desktop" ||
  fail "the filter's menu entry does not start the installed KOVARI"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$package" || fail "lintian reports errors"
else
  fail "lintian is not installed (scripts/bootstrap installs it)"
fi
[ "$failures" -eq 0 ] && echo "package: all checks passed"
exit "$failures"
