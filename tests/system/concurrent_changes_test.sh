#!/usr/bin/env bash
# Runs writing commands of kesp_config_net in concurrent pairs on one offline
# tree and checks that none is lost or mixed: two "set" runs for two interfaces
# of one Debian interfaces file must both land; two "dns" runs must leave one
# whole list with the other lines kept; two "proxy set" runs must leave both of
# the proxy's files naming the same host. Every run ends with status 0 or a
# clear timeout message. Usage: concurrent_changes_test.sh TOOL FIXTURES [PAIRS]
set -u
tool=$1
fixtures=$2
pairs=${3:-300}
work=$(mktemp -d /tmp/kesp-pairs.XXXXXX)
trap 'rm -rf "$work"' EXIT
lost=0 refused=0 timeouts=0

tree() {  # family
  rm -rf "$work/root" && mkdir -p "$work/root" && cp -a "$fixtures/config_net/$1/." "$work/root/"
}

pair() {  # runs two commands at once; counts the runs that did not succeed
  "$tool" --root "$work/root" --wait 60 "${@:1:$half}" >"$work/a" 2>&1 &
  local first=$!
  "$tool" --root "$work/root" --wait 60 "${@:$((half + 1))}" >"$work/b" 2>&1
  local second=$?
  wait "$first"
  for status in "$?:$work/a" "$second:$work/b"; do
    [ "${status%%:*}" = 0 ] && continue
    if grep -q "another network change was still running" "${status#*:}"; then
      timeouts=$((timeouts + 1))
    else
      refused=$((refused + 1)); cat "${status#*:}"
    fi
  done
}

tree debian
for ((i = 1; i <= pairs; i++)); do
  half=6
  pair set eth0 --mode STATICV4 --ipv4-address "192.0.2.$((i % 250 + 1))/24" \
    set eth1 --mode STATICV4 --ipv4-address "198.51.100.$((i % 250 + 1))/24"
  file=$(cat "$work/root/etc/network/interfaces")
  if [[ $file != *"192.0.2.$((i % 250 + 1))"* || $file != *"198.51.100.$((i % 250 + 1))"* ]]; then
    lost=$((lost + 1)); echo "set pair $i lost an update"
  fi
done

tree debian
printf 'search example.org\nnameserver 192.0.2.53\noptions ndots:2\n' >"$work/root/etc/resolv.conf"
for ((i = 1; i <= pairs; i++)); do
  half=2
  pair dns "192.0.2.$((i % 250 + 1))" dns "2001:db8::$i"
  case "$(cat "$work/root/etc/resolv.conf")" in
    $'search example.org\nnameserver 192.0.2.'"$((i % 250 + 1))"$'\noptions ndots:2' | \
      $'search example.org\nnameserver 2001:db8::'"$i"$'\noptions ndots:2') ;;
    *) lost=$((lost + 1)); echo "dns pair $i left:"; cat "$work/root/etc/resolv.conf" ;;
  esac
done

tree suse
for ((i = 1; i <= pairs; i++)); do
  half=4
  pair proxy set --host "a$i.example.org" proxy set --host "b$i.example.org"
  host=$(grep -o '[ab]'"$i"'\.example\.org' "$work/root/etc/environment" | head -1)
  if [ -z "$host" ] || ! grep -q "$host" "$work/root/etc/sysconfig/proxy"; then
    lost=$((lost + 1)); echo "proxy pair $i mixed the files"
  fi
done

echo "$((3 * pairs)) pairs: $lost lost or mixed updates, $timeouts timeouts, $refused other failures"
[ "$lost" -eq 0 ] && [ "$refused" -eq 0 ]
