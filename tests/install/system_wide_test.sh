#!/usr/bin/env bash
# The system-wide install on a family computer, inside private mount and
# network namespaces: a copy of /etc (with a test account "qmkid" added to its passwd)
# and an empty /var/lib are mounted over the machine's own, so the activation
# writes /etc/ld.so.preload, /etc/quellmark, the autostart entry and the
# per-account folders there and the machine's own /etc is never touched (checked
# at the end from outside the namespace).
#   system_wide_test.sh SOURCE_DIR BUILD_DIR BIN_DIR
# Needs root and `unshare -mn`; otherwise it is skipped (exit status 77).
set -uo pipefail
source_dir=$1 build_dir=$2 bin_dir=$3
source "$(dirname "$0")/checks.sh"

if [ "${QM_SYSTEM_TEST_INSIDE:-}" != 1 ]; then
  if [ "$(id -u)" -ne 0 ] || ! unshare -mn true 2>/dev/null; then
    echo "skipped: needs root and a private mount namespace"
    exit 77
  fi
  fingerprint() {
    sha256sum /etc/passwd /etc/group /etc/ld.so.preload 2>&1
    ls -la /etc/quellmark /etc/xdg/autostart /var/lib/quellmark 2>&1
  }
  work=$(mktemp -d)
  chmod 755 "$work"
  trap 'rm -rf "$work"' EXIT
  cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null || exit 1
  cp -a /etc "$work/etc"
  echo 'qmkid:x:4242:4242:Filtered child:/tmp/qmkid-home:/bin/sh' >>"$work/etc/passwd"
  echo 'qmkid:x:4242:' >>"$work/etc/group"
  echo '127.0.0.1 www.familysite.example www.casino.example block.tellwyn.com' >>"$work/etc/hosts"
  # Another product's preloaded libraries; the last line has no line end.
  printf '/lib/x86_64-linux-gnu/libm.so.6\n\n  /lib/x86_64-linux-gnu/libdl.so.2' >"$work/etc/ld.so.preload"
  mkdir "$work/varlib"
  unchanged_machine fingerprint env QM_SYSTEM_TEST_INSIDE=1 QM_WORK="$work" unshare -mn "$0" "$@"
  exit
fi

# Inside the namespace.
work=$QM_WORK
mount --make-rprivate /
# A network of its own, with a link beside loopback as a family computer has.
ip link set lo up
ip link add qm0 type veth peer name qm1
mount --bind "$work/etc" /etc
mount --bind "$work/varlib" /var/lib
programs=$work/prefix/lib/quellmark
admin=$work/prefix/sbin/quellmark-admin
pids=()
cleanup() {
  # What the test started, and what the browsers left running as the test account.
  for pid in "${pids[@]}" $(pgrep -u 4242) $(pgrep -u 4243); do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf /tmp/qmkid-home
}
trap cleanup EXIT
refuse() { # refuse WHAT COMMAND...: must fail
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then fail "$what succeeded"; fi
}
kid=(setpriv --reuid=4242 --regid=4242 --clear-groups env -i PATH=/usr/bin:/bin HOME=/tmp/qmkid-home)
as_kid() { "${kid[@]}" "$@"; }
wait_for_port() {
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  fail "nothing listens on port $1"
  return 1
}
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
sums() { sha256sum /etc/ld.so.preload /etc/quellmark/HKEY_LOCAL_MACHINE.reg 2>&1; }

# The family: anna may open the family site, the casino is denied to everyone.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
chmod 644 "$work/cert.pem"
account_port=$(free_port)
rating_port=$(free_port)
cat >"$work/members.txt" <<EOF2
member anna
password secret
catmask 001
agencyserver 127.0.0.1
agencyport $rating_port
localoverridesver 1
localoverrides Y
popupblocker Y
prefs [POPUPS]
prefs
prefs [PORTS]
prefs
prefs [APPS]
prefs
prefs [SOALLOWS]
prefs anna,www.familysite.example
prefs
prefs [SODENIES]
prefs *,www.casino.example
prefs
EOF2
printf 'anna secret\n' >"$work/rating-members.txt"
: >"$work/ratings.txt"
"$bin_dir/account-server" --port "$account_port" --cert "$work/cert.pem" --key "$work/key.pem" \
  --members "$work/members.txt" --log "$work/account.log" &
pids+=($!)
"$bin_dir/rating-server" --port "$rating_port" --ratings "$work/ratings.txt" \
  --members "$work/rating-members.txt" --log "$work/rating.log" &
pids+=($!)
# One web server for every site name: the block page's host gets the block page.
cat >"$work/web.py" <<'EOF2'
import http.server, sys
class Site(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        blocked = self.headers.get("Host", "").startswith("block.")
        body = (b"<html><body>This site is blocked.</body></html>\n" if blocked
                else b"<html><body>A page.</body></html>\n")
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        with open(LOG, "a") as log:
            log.write("%s %s %s\n" % (self.headers.get("Host", ""), self.path,
                                       self.headers.get("User-Agent", "")))
    def log_message(self, *args):
        pass
LOG = sys.argv[1]
http.server.ThreadingHTTPServer(("127.0.0.1", 80), Site).serve_forever()
EOF2
python3 "$work/web.py" "$work/web.log" &
pids+=($!)
wait_for_port "$account_port"; wait_for_port "$rating_port"; wait_for_port 80
get() { curl -sS -i --max-time 20 --resolve "$1:80:127.0.0.1" "http://$1/"; }

code=$("$bin_dir/support-codes" install family-1)
preload_before=$(sha256sum </etc/ld.so.preload)

echo "== Refusals change nothing"
before=$(sums)
expect "not root" "run it as root" as_kid "$admin" activate --install-id family-1 --code "$code" qmkid
expect "unknown account" 'no account named "nobody-here"' \
  "$admin" activate --install-id family-1 --code "$code" nobody-here
expect "root's account" "never filtered" "$admin" activate --install-id family-1 --code "$code" root
expect "wrong code" "install code does not belong" \
  "$admin" activate --install-id family-1 --code 000000000000 qmkid
refuse "activation with a wrong code" "$admin" activate --install-id family-1 --code 000000000000 qmkid
expect "deactivation when not active" "not active" "$admin" deactivate a b "$("$bin_dir/support-codes" removal a b)"
# A step that fails half-way (the data folder cannot be made) takes back the
# settings and the catalog it had written already.
mount -o remount,bind,ro /var/lib
expect "failed step" "has been taken back" "$admin" activate --install-id family-1 --code "$code" qmkid
mount -o remount,bind,rw /var/lib
[ "$(sums)" = "$before" ] || fail "a refused command changed something"
[ -e /etc/quellmark ] && fail "a refused command made /etc/quellmark"

echo "== Activation, twice"
for run in 1 2; do
  expect "activation $run" "Filtering is active for: qmkid" "$admin" activate --install-id family-1 \
    --code "$code" --account-server "localhost:$account_port" --account-server-ca "$work/cert.pem" \
    --block-page http://block.tellwyn.com qmkid
done
[ "$(grep -c "^$programs/libsockhost.so\$" /etc/ld.so.preload)" = 1 ] || fail "the socket host is not in ld.so.preload once"
expect "other preload lines kept" "/lib/x86_64-linux-gnu/libm.so.6" cat /etc/ld.so.preload
expect "filtered accounts" '"FilteredAccounts"="qmkid"' cat /etc/quellmark/HKEY_LOCAL_MACHINE.reg
expect "settings" '"BlockPage"="http://block.tellwyn.com"' cat /etc/quellmark/HKEY_LOCAL_MACHINE.reg
expect "settings" '"Dir"="/var/lib/quellmark"' cat /etc/quellmark/HKEY_LOCAL_MACHINE.reg
expect "account folder" "1770 root:qmkid" stat -c '%a %U:%G' /var/lib/quellmark/qmkid
expect "machine settings" "644 root" stat -c '%a %U' /etc/quellmark/HKEY_LOCAL_MACHINE.reg
expect "autostart entry" "KOVARI --autostart" cat /etc/xdg/autostart/quellmark-kovari.desktop

echo "== Programs out of the filter's reach are named"
expect "status before" "Socket host in /etc/ld.so.preload: yes" "$admin" status
[ -z "$("$admin" status | grep "Not filtered")" ] || fail "status names programs when there are none"
mkdir -p /var/lib/flatpak/app/org.example.Browser /var/lib/snapd/desktop/applications \
  /tmp/qmkid-home/.local/share/flatpak/app/org.example.Chat
touch /var/lib/snapd/desktop/applications/webby_webby.desktop \
  /var/lib/snapd/desktop/applications/webby_helper.desktop
status_out=$("$admin" status)
for app in "org.example.Browser (Flatpak)" "org.example.Chat (Flatpak of qmkid)" "webby (Snap)"; do
  grep -qxF "  $app" <<<"$status_out" || fail "status does not name $app: $status_out"
done
[ "$(grep -c "webby" <<<"$status_out")" = 1 ] || fail "a snap is named once: $status_out"
expect "activation names them" "org.example.Browser (Flatpak)" "$admin" activate \
  --install-id family-1 --code "$code" qmkid
rm -rf /var/lib/flatpak /var/lib/snapd /tmp/qmkid-home
# So are filtered accounts that can act as root: members of sudo or docker.
grep -q "act as root" <<<"$status_out" && fail "status names accounts that cannot act as root: $status_out"
cp /etc/group "$work/group"
sed -i '/^sudo:/ s/$/,qmkid/; /^sudo:/ s/:,/:/' /etc/group
echo 'docker:x:4299:qmkid' >>/etc/group
expect "status names the child in sudo and docker" "  qmkid (sudo, docker)" "$admin" status
cp "$work/group" /etc/group

kid_dir=$work/kid
mkdir -p "$kid_dir" && chown 4242:4242 "$kid_dir"
service_env=(QT_QPA_PLATFORM=offscreen DISPLAY=:77 QUELLMARK_MSGBOX_RECORD=$kid_dir/boxes.txt
  QUELLMARK_DIALOG_ANSWER=0 QUELLMARK_MSGBOX_ANSWER=2 QUELLMARK_NOTIFY_RECORD=$kid_dir/notes.txt)

echo "== A log folder the child's service cannot write is reported"
chown root:root /var/lib/quellmark/qmkid/Logs
"${kid[@]}" "${service_env[@]}" "$programs/KOVARI" --autostart >"$work/unwritable.out" 2>&1 &
service=$!
wait_for_port 4100
for _ in $(seq 100); do [ -s "$kid_dir/notes.txt" ] && break; sleep 0.1; done
kill "$service"; wait "$service" 2>/dev/null
expect "log line" "The log cannot be written in /var/lib/quellmark/qmkid/Logs" cat "$work/unwritable.out"
[ "$(grep -c "The filter cannot save" "$kid_dir/notes.txt")" = 1 ] || fail "not told once: $(cat "$kid_dir/notes.txt")"
chown 4242:4242 /var/lib/quellmark/qmkid/Logs
rm -f "$kid_dir/notes.txt"

echo "== The child's service, started as the autostart entry starts it"
cat >/var/lib/quellmark/qmkid/HKEY_CURRENT_USER.reg <<'EOF2'
REGEDIT4

[HKEY_CURRENT_USER\Software\Quellmark\Settings]
"DebugLevel"=dword:00000001

[HKEY_CURRENT_USER\Software\Quellmark\UserProfiles]
@="anna~secret"
"anna"="anna"
EOF2
chown 4242:4242 /var/lib/quellmark/qmkid/HKEY_CURRENT_USER.reg
# Started directly (not through a function), so that its process id is the
# service's and the clean-up ends it.
"${kid[@]}" "${service_env[@]}" "$programs/KOVARI" --autostart >"$work/kovari.out" 2>&1 &
service=$!
pids+=($service)
wait_for_port 4100
# Root's own start of the same entry ends at once.
timeout 10 "$programs/KOVARI" --autostart || fail "KOVARI --autostart as root"
# The menu entry's --administrator: root, not filtered, has no window to open;
# the child's start asks the copy that runs and ends.
refuse "KOVARI --administrator as root" timeout 10 env -u DISPLAY -u WAYLAND_DISPLAY \
  "$programs/KOVARI" --administrator
expect "KOVARI --administrator as root" "not active for this account" \
  timeout 10 env -u DISPLAY -u WAYLAND_DISPLAY "$programs/KOVARI" --administrator
# Picked from a desktop's menu, the refusal is also shown in a box.
timeout 10 env DISPLAY=:77 QT_QPA_PLATFORM=offscreen QUELLMARK_MSGBOX_RECORD="$work/root-boxes.txt" \
  "$programs/KOVARI" --administrator >/dev/null 2>&1
expect "the box of root's --administrator" "Quellmark family filter	The family filter is not active" \
  cat "$work/root-boxes.txt"
timeout 10 "${kid[@]}" "${service_env[@]}" "$programs/KOVARI" --administrator ||
  fail "KOVARI --administrator of the child"

echo "== The filtered account: no LD_PRELOAD in its environment"
expect "allowed site" "A page." as_kid DISPLAY=:77 curl -sS -i --max-time 20 \
  --resolve www.familysite.example:80:127.0.0.1 http://www.familysite.example/
for how in "" "env -u LD_PRELOAD" "env QUELLMARK_REGISTRY_DIR=/tmp"; do
  expect "deny-listed site ($how)" "Location: http://block.tellwyn.com?site=http://www.casino.example" \
    as_kid DISPLAY=:77 $how curl -sS -i --max-time 20 \
    --resolve www.casino.example:80:127.0.0.1 http://www.casino.example/
done
# A user namespace of the child's own, where it is root, nobody, or root of a
# namespace inside another: the kernel's map then hides who made it, and the
# login session's recorded user decides (a session without a record counts as
# the first filtered account's); root's session stays unfiltered.
records=("")
if [ -d /run/systemd/sessions ] && mount -t tmpfs tmpfs /run/systemd/sessions; then
  records=(4242 "")
fi
in_session() { # in_session LOGIN-UID RECORDED-UID|"" COMMAND...
  sh -c 'echo "$1" >/proc/self/loginuid && s=$(cat /proc/self/sessionid) &&
    { [ -z "$2" ] || echo "UID=$2" >"/run/systemd/sessions/$s"; } && shift 2 && exec "$@"' sh "$@"
}
casino=(curl -sS -i --max-time 20 --resolve www.casino.example:80:127.0.0.1 http://www.casino.example/)
for how in "unshare -r" "unshare -U" "unshare -r unshare -r"; do
  for record in "${records[@]}"; do
    expect "deny-listed site ($how, session of '$record')" \
      "Location: http://block.tellwyn.com?site=http://www.casino.example" \
      in_session 4242 "$record" "${kid[@]}" DISPLAY=:77 $how "${casino[@]}"
  done
done
if [ ${#records[@]} = 2 ]; then
  expect "root's session in a namespace" "A page." \
    in_session 0 0 env DISPLAY=:77 unshare -U "${casino[@]}"
  # A session record saying root, mounted over the child's own, is not believed.
  echo UID=0 >"$work/root-record"
  chmod 644 "$work/root-record"
  expect "a record mounted over the child's" \
    "Location: http://block.tellwyn.com?site=http://www.casino.example" \
    in_session 4242 4242 "${kid[@]}" DISPLAY=:77 unshare -Urm sh -c \
    "mount --bind $work/root-record /run/systemd/sessions/\$(cat /proc/self/sessionid) &&
     exec unshare -r ${casino[*]}"

  echo "== A second child's program in a user namespace asks that child's own service"
  # The second account (place 1, channel 4101) has no member logged in, so its
  # service blocks the family site that anna, the first child's, allows.
  echo 'qmkid2:x:4243:4243:Second child:/tmp:/bin/sh' >>/etc/passwd
  echo 'qmkid2:x:4243:' >>/etc/group
  expect "second account" "Filtering is active for: qmkid,qmkid2" "$admin" activate \
    --install-id family-1 --code "$code" qmkid2
  mkdir "$work/kid2" && chown 4243:4243 "$work/kid2"
  kid2=(setpriv --reuid=4243 --regid=4243 --clear-groups env -i PATH=/usr/bin:/bin HOME=/tmp)
  "${kid2[@]}" QT_QPA_PLATFORM=offscreen DISPLAY=:77 QUELLMARK_MSGBOX_RECORD="$work/kid2/boxes.txt" \
    QUELLMARK_DIALOG_ANSWER=0 QUELLMARK_MSGBOX_ANSWER=2 "$programs/KOVARI" --autostart \
    >"$work/kovari2.out" 2>&1 &
  second=$!
  pids+=($second)
  wait_for_port 4101
  family=(curl -sS -i --max-time 20 --resolve www.familysite.example:80:127.0.0.1
    http://www.familysite.example/)
  for how in "unshare -c" "unshare -r"; do
    expect "the second child's family site ($how)" "Location: http://block.tellwyn.com" \
      in_session 4243 4243 "${kid2[@]}" DISPLAY=:77 $how "${family[@]}"
    expect "the first child's family site ($how)" "A page." \
      in_session 4242 4242 "${kid[@]}" DISPLAY=:77 $how "${family[@]}"
  done
  # Each question of the second child met its own service's login window.
  [ "$(grep -c CLoginDlg "$work/kid2/boxes.txt")" = 2 ] ||
    fail "the second child's service was not asked: $(cat "$work/kid2/boxes.txt")"
  kill "$second"; wait "$second" 2>/dev/null
fi
[ -s /var/lib/quellmark/qmkid/user.prefs ] || fail "the child's service wrote no user.prefs"

echo "== A program that would run outside the filter does not start"
# Mounted over the preload list or the machine settings, or a root of the
# child's own: the next program is refused (EACCES). The same namespace
# unchanged, and root doing the same, start it.
: >"$work/empty"
chmod 644 "$work/empty"
mkdir -p "$work/root/usr" "$work/root/etc" && chmod -R 755 "$work/root"
for link in bin lib lib64; do ln -sfn "usr/$link" "$work/root/$link"; done
for how in "mount --bind /dev/null /etc/ld.so.preload; exec" \
  "mount -t tmpfs tmpfs /run/systemd/sessions; exec" \
  "mount --bind $work/empty /etc/quellmark/HKEY_LOCAL_MACHINE.reg; exec" \
  "mount --rbind /usr $work/root/usr && cd $work/root && exec /usr/sbin/chroot ."; do
  out=$(as_kid DISPLAY=:77 unshare -Urm sh -c "$how ${casino[*]}" 2>&1)
  grep -q "Permission denied" <<<"$out" && grep -q "it would run outside the family filter" <<<"$out" &&
    ! grep -q "A page." <<<"$out" ||
    fail "started after \"$how\": $out"
done
expect "an unchanged namespace" "Location: http://block.tellwyn.com?site=http://www.casino.example" \
  as_kid DISPLAY=:77 unshare -Urm sh -c "exec ${casino[*]}"
# Without network (only loopback) the program starts: it cannot reach the site.
out=$(as_kid DISPLAY=:77 unshare -Urmn sh -c "mount --bind /dev/null /etc/ld.so.preload; exec ${casino[*]}" 2>&1)
grep -q "Permission denied\|A page." <<<"$out" && fail "a sandbox without network: $out"
if command -v bwrap >/dev/null; then
  out=$(as_kid DISPLAY=:77 bwrap --dev-bind / / --ro-bind /dev/null /etc/ld.so.preload "${casino[@]}" 2>&1)
  grep -q "execvp.*Permission denied" <<<"$out" || fail "bwrap started a program outside the filter: $out"
  expect "bwrap without network" "started" as_kid bwrap --dev-bind / / \
    --ro-bind /dev/null /etc/ld.so.preload --unshare-net echo started
fi
expect "root's changed namespace" "A page." \
  unshare -m sh -c "mount --bind /dev/null /etc/ld.so.preload; exec ${casino[*]}"

echo "== A program the filter cannot see runs without network for the child"
# A statically linked fetcher, and a Go program (hey), as the child would
# download them: the host is never loaded into the first, the second makes its
# own system calls. They run in a network namespace of their own (from
# posix_spawn through bash). Root's copies (the computer's programs) start as
# they are.
cat >"$work/fetch.c" <<'EOF2'
#include <arpa/inet.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
int main(int argc, char** argv) {
    printf("uid %d as %s\n", (int)getuid(), argv[0]);
    fflush(stdout);
    struct sockaddr_in site = {.sin_family = AF_INET, .sin_port = htons(80)};
    inet_pton(AF_INET, "127.0.0.1", &site.sin_addr);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    const char* get = "GET / HTTP/1.0\r\nHost: www.casino.example\r\n\r\n";
    if (connect(fd, (struct sockaddr*)&site, sizeof site) != 0) return puts("no connection"), 1;
    write(fd, get, strlen(get));
    char answer[4096];
    ssize_t n;
    while ((n = read(fd, answer, sizeof answer)) > 0) fwrite(answer, 1, n, stdout);
    return 0;
}
EOF2
cc -static -O1 -o "$work/fetch" "$work/fetch.c" || fail "the static fetcher was not built"
mkdir "$work/stick" && mount -t tmpfs -o nosuid tmpfs "$work/stick"
cp "$work/fetch" "$work/stick/fetch"
cp "$work/fetch" "$work/root-fetch"
printf '#!%s\n' "$work/fetch" >"$work/fetch.sh"
chmod 755 "$work/fetch" "$work/fetch.sh" "$work/root-fetch" "$work/stick"
chown 4242:4242 "$work/fetch" "$work/fetch.sh"
offline() { # offline WHAT COMMAND...: runs, as the child, but reaches nothing
  local what=$1; shift
  local out; out=$(as_kid DISPLAY=:77 "$@" 2>&1)
  grep -q "uid 4242" <<<"$out" && grep -q "no connection" <<<"$out" && ! grep -q "A page." <<<"$out" ||
    fail "$what: $out"
}
expect "root's static fetcher" "A page." "$work/fetch"
expect "the static fetcher root installed" "A page." as_kid "$work/root-fetch"
raw="import ctypes; argv = (ctypes.c_char_p * 2)(b'fetch', None)
ctypes.CDLL(None).syscall(ctypes.c_long(59), b'$work/fetch', argv, None)"
by_fd="import os; os.execve(os.open('$work/fetch', os.O_RDONLY), ['fetch'], {})"
for how in "$work/fetch" "$work/fetch.sh" "env PATH=$work fetch" "python3 -c \"$raw\"" \
  "python3 -c \"$by_fd\"" "$work/stick/fetch"; do
  offline "$how" sh -c "$how"
done
spawn="import os; os.waitpid(os.posix_spawn('$work/fetch', ['fetcher', '-x'], {}), 0)"
offline "posix_spawn" python3 -c "$spawn"
expect "posix_spawn keeps the program's name" "uid 4242 as fetcher" as_kid python3 -c "$spawn"
expect "ldd of the static fetcher" "not a dynamic executable" as_kid ldd "$work/fetch"
# A start that fails (a file without execute permission) leaves the process
# with its network.
install -o 4242 -m 644 "$work/fetch" "$work/fetch.data"
expect "a failed start" "A page." as_kid DISPLAY=:77 python3 -c "import os, urllib.request
try: os.execv('$work/fetch.data', ['fetch'])
except OSError: print(urllib.request.urlopen('http://127.0.0.1/').read().decode())"
# An AppImage's static start-up program would start the program inside the
# image unseen, and cannot mount it without network: the child's is refused.
install -o 4242 -m 755 "$work/fetch" "$work/fetch.AppImage"
printf 'AI\002' | dd of="$work/fetch.AppImage" bs=1 seek=8 conv=notrunc status=none
expect "an AppImage" "is not started: the family filter cannot see its connections" \
  as_kid "$work/fetch.AppImage"
if command -v hey >/dev/null; then
  install -o 4242 -m 755 "$(command -v hey)" "$work/hey"
  hey_casino=("$work/hey" -n 1 -c 1 -host www.casino.example http://127.0.0.1/)
  expect "root's hey" "[200]" "${hey_casino[@]}"
  for how in "" /lib64/ld-linux-x86-64.so.2; do
    out=$(as_kid $how "${hey_casino[@]}" 2>&1)
    grep -q "Error distribution" <<<"$out" && ! grep -qF "[200]" <<<"$out" || fail "the child's hey ($how): $out"
  done
  expect "the loader's own questions" "libc.so" as_kid ldd "$work/hey"
fi
expect "the child's dynamic programs" "A page." as_kid DISPLAY=:77 python3 -c \
  'import urllib.request; print(urllib.request.urlopen("http://127.0.0.1/").read().decode())'
[ -e "$kid_dir/notes.txt" ] && grep -q "cannot save" "$kid_dir/notes.txt" && fail "a writable folder was reported"
# Browsers as a family runs them, sandboxes on; every host name goes to the
# local web server.
browse() { # browse BROWSER URL: the page's text
  case $1 in
    chromium) timeout 90 "${kid[@]}" DISPLAY=:77 HOME=$kid_dir chromium --headless=new --disable-gpu \
      --no-first-run --user-data-dir="$kid_dir/chromium" --host-resolver-rules="MAP * 127.0.0.1" \
      --virtual-time-budget=5000 --dump-dom "$2" 2>/dev/null ;;
    firefox-esr) timeout 90 "${kid[@]}" DISPLAY=:77 HOME=$kid_dir MOZ_HEADLESS=1 firefox-esr \
      --headless --screenshot "$kid_dir/shot.png" --profile "$kid_dir/firefox" "$2" >/dev/null 2>&1 ;;
  esac
}
if command -v chromium >/dev/null; then
  echo "== Chromium headless as the child, sandbox on"
  expect "chromium, allowed site" "A page." browse chromium http://www.familysite.example/
  expect "chromium, deny-listed site" "This site is blocked." browse chromium http://www.casino.example/
else
  echo "(chromium is not installed: not tried)"
fi
if command -v firefox-esr >/dev/null; then
  echo "== Firefox headless as the child, sandbox on"
  "${kid[@]}" mkdir -p "$kid_dir/firefox"
  : >"$work/web.log"
  browse firefox-esr http://www.familysite.example/
  browse firefox-esr http://www.casino.example/
  expect "firefox, allowed site" "www.familysite.example / Mozilla" cat "$work/web.log"
  expect "firefox, deny-listed site" "block.tellwyn.com /?site=http://www.casino.example" cat "$work/web.log"
else
  echo "(firefox-esr is not installed: not tried)"
fi
echo "== Without a desktop session: the service is not asked, every GET redirected, no wait"
start=$(date +%s)
expect "no session" "Location: http://block.tellwyn.com" as_kid curl -sS -i --max-time 20 \
  --resolve www.familysite.example:80:127.0.0.1 http://www.familysite.example/
[ $(($(date +%s) - start)) -le 3 ] || fail "a process without a desktop session waited"

echo "== Root is not filtered and starts nothing"
expect "root's curl" "A page." get www.casino.example
[ -z "$(pgrep -u 0 -f "^$programs/KOVARI")" ] || fail "a KOVARI runs as root"
maps=$(python3 -c 'import socket; socket.create_connection(("127.0.0.1", 80)).close(); print(open("/proc/self/maps").read())')
grep -q libsockhost.so <<<"$maps" || fail "the socket host is not preloaded into root's programs"
grep -qE 'libZUL|libmsafd' <<<"$maps" && fail "root's program loaded a provider"
# The C library's resolver withholds HTTPS records (NO_DATA, 4) from the child
# only; root's query goes out (and finds no such name).
https_query='import ctypes; c = ctypes.CDLL(None); b = ctypes.create_string_buffer(512)
c.__h_errno_location.restype = ctypes.POINTER(ctypes.c_int)
c.res_query(b"qm-none.invalid", 1, 65, b, 512); print("h_errno", c.__h_errno_location()[0])'
expect "the child's query for HTTPS records" "h_errno 4" as_kid python3 -c "$https_query"
root_query=$(RES_OPTIONS="timeout:1 attempts:1" python3 -c "$https_query")
[[ $root_query == "h_errno "[0-9]* && $root_query != "h_errno 4" ]] || fail "root's query: $root_query"

echo "== What the child may not change"
refuse "child writes the machine settings" as_kid sh -c 'echo x >>/etc/quellmark/HKEY_LOCAL_MACHINE.reg'
refuse "child replaces the machine settings" as_kid sh -c 'echo x >/tmp/h && mv /tmp/h /etc/quellmark/HKEY_LOCAL_MACHINE.reg'
refuse "child replaces the program link" as_kid ln -sfn /bin/true /var/lib/quellmark/qmkid/KOVARI
refuse "child removes the program link" as_kid rm -f /var/lib/quellmark/qmkid/KOVARI
refuse "child writes the program" as_kid sh -c ": >$programs/KOVARI"
refuse "child writes ld.so.preload" as_kid sh -c 'echo >>/etc/ld.so.preload'
expect "the program link" "$programs/KOVARI" readlink /var/lib/quellmark/qmkid/KOVARI

echo "== Deactivation"
removal=$("$bin_dir/support-codes" removal family-1 home)
refuse "deactivation with a wrong code" "$admin" deactivate family-1 home 000000000000
expect "deactivation" "no longer active" "$admin" deactivate family-1 home "$removal"
expect "deactivation twice" "not active" "$admin" deactivate family-1 home "$removal"
[ "$(sha256sum </etc/ld.so.preload)" = "$preload_before" ] || fail "ld.so.preload is not as it was"
for path in /etc/quellmark /var/lib/quellmark /etc/xdg/autostart/quellmark-kovari.desktop; do
  [ -e "$path" ] && fail "$path is left after deactivation"
done
expect "nothing filtered" "A page." as_kid DISPLAY=:77 curl -sS -i --max-time 20 \
  --resolve www.casino.example:80:127.0.0.1 http://www.casino.example/

kill "$service" 2>/dev/null; wait "$service" 2>/dev/null
[ -z "$(pgrep -u 4242 -f "^$programs/KOVARI")" ] || fail "the child's service did not end"
[ "$failures" -eq 0 ] && echo "system-wide install: all checks passed"
exit "$failures"
