# Shared by the install tests (sourced): counted failures, checks of a
# command's output, and a run that must leave the machine's own files as they
# were.
failures=0
fail() { printf 'FAILED: %s\n' "$*"; failures=$((failures + 1)); }
expect() { # expect WHAT TEXT COMMAND...: the output (and errors) hold TEXT
  local what=$1 text=$2; shift 2
  local output; output=$("$@" 2>&1)
  grep -qF -- "$text" <<<"$output" || fail "$what: no \"$text\" in: $output"
}
unchanged_machine() { # unchanged_machine FINGERPRINT COMMAND...: COMMAND's status, 1 when FINGERPRINT's output changed
  local fingerprint=$1; shift
  local before after status
  before=$("$fingerprint")
  "$@"
  status=$?
  after=$("$fingerprint")
  if [ "$before" != "$after" ]; then
    printf 'FAILED: the machine'"'"'s own files changed:\n--- before\n%s\n--- after\n%s\n' "$before" "$after"
    status=1
  fi
  return "$status"
}
