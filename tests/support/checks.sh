# Sourced by the shell tests: pass and fail counts and the checks they share.
passed=0 failed=0

pass() { passed=$((passed + 1)); }
fail() { echo "FAILED: $*" >&2; failed=$((failed + 1)); }

check() {  # check NAME COMMAND...: the command must succeed
  local name=$1
  shift
  if "$@"; then pass; else fail "$name"; fi
}

# fails_saying NAME TEXT ERRFILE COMMAND...: the command must fail and leave
# TEXT in ERRFILE (where it writes its standard error).
fails_saying() {
  local name=$1 text=$2 err=$3
  shift 3
  if "$@"; then
    fail "$name: succeeded"
  elif ! grep -qF -- "$text" "$err"; then
    fail "$name: no '$text' in: $(cat "$err")"
  else
    pass
  fi
}

finish() {  # finish NAME: prints the counts; fails when a check failed
  echo "$1: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
