#!/usr/bin/env bash
# --help, --version and usage errors of both programs: help and version on
# standard output with status 0; a wrong word gives the usage on standard
# error, status 2 and nothing on standard output, so the console has not
# drawn on the terminal (it would draw there first).
#   program_options_check.sh VERSION KESP_LOGIN KESP_CONFIG_NET
set -uo pipefail
version=$1 console=$2 tool=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

passed=0 failed=0
matches() { [ -z "$2" ] || grep -Eq "$2" "$1"; }  # FILE PATTERN ("": anything)
# EXPECTED_STATUS STDOUT_PATTERN STDERR_PATTERN PROGRAM ARGS...
check() {
  local status=$1 out_pattern=$2 err_pattern=$3 actual=0
  shift 3
  # No terminal, and a time limit should the console start after all; its
  # files stay under the scratch root.
  TERM=xterm timeout 10 "$@" </dev/null >"$scratch/out" 2>"$scratch/err" || actual=$?
  if [ "$actual" = "$status" ] && matches "$scratch/out" "$out_pattern" &&
     matches "$scratch/err" "$err_pattern"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $*: status $actual (expected $status)" >&2
    sed 's/^/  out: /' "$scratch/out" >&2
    sed 's/^/  err: /' "$scratch/err" >&2
  fi
}
check_empty() { [ ! -s "$scratch/$1" ] || { failed=$((failed + 1)); echo "FAILED: $1 not empty" >&2; }; }

for program in "$console" "$tool"; do
  name=${program##*/}
  check 0 "^$name $version\$" "" "$program" --version
  check 0 "^usage: $name" "" "$program" --help
  check 0 "^usage: $name" "" "$program" -h
done
root=(--root "$scratch")
for words in "--bogus" "-x" "extra" "--root" "--root $scratch --root $scratch"; do
  # shellcheck disable=SC2086
  check 2 "" "^usage: kesp_login" "$console" "${root[@]}" $words
  check_empty out
done
for words in "--bogus" "-x" "show --bogus" "--root"; do
  # shellcheck disable=SC2086
  check 2 "" "usage: kesp_config_net" "$tool" $words
  check_empty out
done

echo "program options: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
