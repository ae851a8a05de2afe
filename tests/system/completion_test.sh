#!/usr/bin/env bash
# Drives the bash completion of kesp_config_net as bash does: COMP_WORDS and
# COMP_CWORD set, the completion function called, COMPREPLY compared.
#   completion_test.sh COMPLETION_FILE TOOL FIXTURE_ROOT
# The kernel's interface names are checked in a network namespace of its own
# (root only); the image's come from FIXTURE_ROOT through the tool.
set -uo pipefail
completion=$1 tool=$2 image=$3

# shellcheck source=/dev/null
source "$completion"

# The candidates for the last word of the line, sorted, on one line.
complete_words() {
  COMP_WORDS=("$tool" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _kesp_config_net
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

passed=0 failed=0
check() {  # EXPECTED WORD...
  local expected=$1 actual
  shift
  actual=$(complete_words "$@")
  if [ "$actual" = "$expected" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: kesp_config_net $* <TAB>: got '$actual', expected '$expected'" >&2
  fi
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/image-a" "$scratch/image-b"
touch "$scratch/image-file"

# expected                          words up to the one being completed
check "set show"                    s
check "gateways"                    g
check "diagnose dns"                d
check "eth0 eth1"                   --root "$image" diagnose ""
check "--json"                      --js
check "--verbose --version"         --ve
check "--root"                      show --ro
check "--ipv4-address --ipv4-gateway --ipv4-netmask" set eth0 --ipv4
check "--password-stdin"            proxy set --pa
check "--clear"                     dns --c
check "STATICV4 STATICV4+AUTOV6 STATICV4+DHCPV6 STATICV4+STATICV6" set eth0 --mode STATICV4
check "DHCPV6"                      set eth0 --mode=x --mode DHCPV6
check ""                            set eth0 --ipv4-address 192
check "add remove swap"             move ""
check "clear set show"              proxy ""
check "show"                        help sh
check "$scratch/image-a $scratch/image-b" --root "$scratch/image"
# Interfaces of an offline image, as the tool reads its files.
check "eth0 eth1"                   --root "$image" show ""
check "eth0 eth1"                   --root="$image" move swap eth0 ""
check "eth1"                        show --json --root "$image" eth1
check ""                            --root "$image" move add eth0 ""
check "eth0 eth1"                   --json --root "$image" set ""
check ""                            --root "$image" dns ""

# Interfaces of the running system: the kernel's links, seen in a namespace.
namespace=kesp-completion-$$
if [ "$(id -u)" -eq 0 ] && ip netns add "$namespace" 2>/dev/null; then
  trap 'ip netns delete "$namespace" 2>/dev/null; rm -rf "$scratch"' EXIT
  ip -n "$namespace" link add eth0 type veth peer name eth1
  # `ip netns exec` mounts the namespace's own /sys.
  live=$(ip netns exec "$namespace" bash -c \
    'source "$1"; COMP_WORDS=("$2" gateways ""); COMP_CWORD=2; _kesp_config_net; printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
    _ "$completion" "$tool")
  if [ "$live" = "eth0 eth1 " ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAILED: live interfaces: got '$live'" >&2
  fi
else
  echo "completion: live interface names skipped (needs root for a namespace)"
fi

echo "completion: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
