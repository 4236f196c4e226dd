#!/usr/bin/env bash
# The Debian package's life on a family computer, run on a copy-on-write view of
# this machine (an overlay of / whose changes stay in memory) inside private
# mount and network namespaces: dpkg installs it, the activation filters a test
# account, removal is refused while the filter is active, a reinstall (dpkg's
# upgrade path) keeps it active, and after deactivation the package goes and
# leaves /etc/ld.so.preload as it was. The machine's own files are checked
# unchanged at the end from outside.
#   package_lifecycle_test.sh BUILD_DIR BIN_DIR
# Needs root, `unshare -mn` and overlay mounts; otherwise skipped (exit status 77).
set -uo pipefail
build_dir=$1 bin_dir=$2
source "$(dirname "$0")/checks.sh"

case "${QM_PACKAGE_TEST_STAGE:-}" in
"")
  if [ "$(id -u)" -ne 0 ] || ! unshare -mn true 2>/dev/null; then
    echo "skipped: needs root and a private mount namespace"
    exit 77
  fi
  fingerprint() {
    sha256sum /etc/passwd /etc/ld.so.preload 2>&1
    ls -la /usr/lib/quellmark /etc/quellmark 2>&1
    dpkg-query -W -f='${Status}\n' quellmark 2>&1
  }
  work=$(mktemp -d)
  chmod 755 "$work"
  trap 'rm -rf "$work"' EXIT
  cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work" >/dev/null || exit 1
  unchanged_machine fingerprint env QM_PACKAGE_TEST_STAGE=namespace QM_WORK="$work" unshare -mn "$0" "$@"
  exit
  ;;
namespace)
  # The overlay's changes go to a tmpfs; the machine's devices, processes and
  # kernel settings are bound into it.
  work=$QM_WORK
  mount --make-rprivate /
  ip link set lo up
  mkdir "$work/memory" "$work/root"
  mount -t tmpfs tmpfs "$work/memory" || exit 1
  mkdir "$work/memory/upper" "$work/memory/work"
  if ! mount -t overlay overlay \
    -o "lowerdir=/,upperdir=$work/memory/upper,workdir=$work/memory/work" "$work/root"; then
    echo "skipped: no overlay mount"
    exit 77
  fi
  for fs in dev proc sys; do mount --rbind "/$fs" "$work/root/$fs"; done
  QM_PACKAGE_TEST_STAGE=root exec chroot "$work/root" "$0" "$@"
  ;;
esac

# Inside the copy of the machine.
work=$QM_WORK
web=
cleanup() {
  [ -n "$web" ] && kill "$web" 2>/dev/null
  for pid in $(pgrep -u 4242); do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
echo 'qmkid:x:4242:4242:Filtered child:/tmp/qmkid-home:/bin/sh' >>/etc/passwd
echo 'qmkid:x:4242:' >>/etc/group
mkdir -p "$work/site" && echo "A page." >"$work/site/index.html"
python3 -m http.server --bind 127.0.0.1 --directory "$work/site" 80 >/dev/null 2>&1 &
web=$!
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/80) 2>/dev/null && break; sleep 0.1; done
casino() { # casino [setpriv ...]: the deny-listed site's answer, its errors included
  "$@" curl -sS -i --max-time 20 --resolve www.casino.example:80:127.0.0.1 http://www.casino.example/ 2>&1
}
kid=(setpriv --reuid=4242 --regid=4242 --clear-groups env -i PATH=/usr/bin:/bin HOME=/tmp)
redirected="Location: http://127.0.0.1:4180/?site=http://www.casino.example"
preload_before=$(cat /etc/ld.so.preload 2>/dev/null)
package=$(ls "$work"/quellmark_*.deb)

echo "== Installed, filtering nobody"
expect "install" "sudo quellmark-admin activate" dpkg -i "$package"
expect "status" "Filtering is not active" quellmark-admin status
expect "the child before activation" "A page." casino "${kid[@]}"

echo "== Activated for the child"
expect "activation" "Filtering is active for: qmkid" quellmark-admin activate \
  --install-id family-1 --code "$("$bin_dir/support-codes" install family-1)" qmkid
# Outside a desktop session every page of the child is redirected at once.
expect "the child's curl" "$redirected" casino "${kid[@]}"
expect "root's curl" "A page." casino

echo "== Not removed while active; a reinstall keeps the filter"
out=$(dpkg -r quellmark 2>&1) && fail "removal while active succeeded: $out"
grep -qF "quellmark-admin deactivate" <<<"$out" || fail "the refusal does not say what to do: $out"
expect "still installed" "install ok installed" dpkg-query -W -f='${Status}' quellmark
expect "the child after the refused removal" "$redirected" casino "${kid[@]}"
out=$(dpkg -i "$package" 2>&1) || fail "reinstall: $out"
grep -q "activate --install-id" <<<"$out" && fail "a reinstall repeats the first install's text: $out"
expect "the child after a reinstall" "$redirected" casino "${kid[@]}"

echo "== Deactivated, then removed and purged"
expect "deactivation" "no longer active" quellmark-admin deactivate family-1 home \
  "$("$bin_dir/support-codes" removal family-1 home)"
dpkg -r quellmark >/dev/null 2>&1 || fail "removal after deactivation"
dpkg --purge quellmark >/dev/null 2>&1 || fail "purge after removal"
[ "$(cat /etc/ld.so.preload 2>/dev/null)" = "$preload_before" ] || fail "ld.so.preload is not as it was"
for path in /usr/lib/quellmark /etc/quellmark /var/lib/quellmark; do
  [ -e "$path" ] && fail "$path is left after removal"
done
out=$(casino "${kid[@]}")
[ "$out" != "${out#*A page.}" ] && [ "$out" = "${out#*ld.so}" ] || fail "the child after removal: $out"

[ "$failures" -eq 0 ] && echo "package life: all checks passed"
exit "$failures"
