#!/usr/bin/env bash
# Runs scripts/demo against the built programs and checks what each case saw.
#   demo_test.sh SOURCE_DIR BIN_DIR
set -uo pipefail
source_dir=$1
output=$(QM_DEMO_INSIDE=1 QM_DEMO_BIN=$2 "$source_dir/scripts/demo" 2>&1)
status=$?
printf '%s\n' "$output"

failures=0
# The section of the output that starts with the heading and ends before the next.
section() { printf '%s\n' "$output" | awk -v head="== $1" \
  'index($0, head) == 1 {on = 1; next} /^== / {on = 0} on'; }
expect() {
  if ! section "$1" | grep -qF -- "$2"; then
    printf 'FAILED: case "%s" does not show "%s"\n' "$1" "$2"
    failures=$((failures + 1))
  fi
}
refuse() {
  if section "$1" | grep -qF -- "$2"; then
    printf 'FAILED: case "%s" shows "%s"\n' "$1" "$2"
    failures=$((failures + 1))
  fi
}

[ "$status" -eq 0 ] || { printf 'FAILED: the demo ended with status %s\n' "$status"; exit 1; }
expect "1." "HTTP/1.0 200 OK"
expect "1." '<script>POPBLOKR = ("ad.html")</script>'
refuse "1." "127.0.0.1:4180"
expect "2." "Location: http://127.0.0.1:4180/?site=http://www.casino.example"
refuse "2." "A page."
expect "2." 'id="site">www.casino.example'
expect "2." "on the family's list of sites that may not be opened"
expect "3." "Location: http://127.0.0.1:4180/?site=http://www.gamble.example"
expect "3." "command=login"
expect "3." "command=getuserprefs"
expect "3." "VRA 1.0:USER anna"
expect "3." "VRA 1.0:http://www.science.example/"
[ "$(section "3." | grep -c "HTTP/1.0 200 OK")" -eq 1 ] ||
  { printf 'FAILED: exactly one rated site should be shown\n'; failures=$((failures + 1)); }
refuse "3." "VRA 1.0:http://www.familysite.example"
refuse "3." "VRA 1.0:http://www.casino.example"
expect "4." "Couldn't connect to server"
expect "4." "failed: Connection refused."
expect "5." "Location: http://127.0.0.1:4180/?site=http://www.familysite.example"
expect "Windows and message boxes" "(none)"
exit $((failures > 0))
