#!/usr/bin/env bash
# Kills kesp_config_net before each of its file-system calls in turn (strace
# fault injection), runs "recover", and checks that the tree is then wholly as
# before the change or wholly as after it: no damaged file, no mix, no
# temporary file. Usage: crash_recovery_test.sh TOOL FIXTURES [STRIDE]
# STRIDE 1 kills before every call; N kills before every Nth (for CI).
set -u
# Bind mounts of the in-place case stay in a mount namespace of our own.
if [ -z "${KESP_CRASH_NAMESPACE:-}" ] && unshare -m --propagation private true 2>/dev/null; then
  KESP_CRASH_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi
# Absolute: the tool runs from the work directory (for a relative root).
tool=$1
[[ $tool != */* ]] || tool=$(realpath "$tool")
fixtures=$(realpath "$2")
# Recording stand-ins for every program the tool may start: none may run.
stand_ins=$fixtures/config_net/programs/stand-ins
stride=${3:-1}
calls=(openat openat2 read write close fsync rename renameat renameat2 unlink unlinkat ftruncate
  fchmod fchmodat fchown fchownat mkdir mkdirat flock lseek)
work=$(mktemp -d /tmp/kesp-crash.XXXXXX)
trap 'rm -rf "$work"' EXIT

# family[-variant] | command: every writing command on the fixture trees,
# offline. Variants: run and var/lib as links out of the image (outlinks), an
# ifcfg file that is a link (linked), the root spelled through a link
# (rootlink), relative (rootrel) or with "//" (rootslash), no /proc (noproc),
# a profile in /usr/lib that a change copies to /etc (readonly), resolv.conf
# handed to systemd-resolved, whose drop-in directory the change makes (resolved).
# Every image carries recording stand-ins for the programs the tool may start,
# and none but outlinks has a var/lib/kesp: the journal's directories come and
# go with it, whenever the kill.
cases=(
  "debian|set eth0 --mode STATICV4 --ipv4-address 192.0.2.10/24 --ipv4-gateway 192.0.2.1"
  "redhat|set eth0 --mode STATICV4 --ipv4-address 192.0.2.10/24 --ipv4-gateway 192.0.2.1"
  "suse|set eth0 --mode STATICV4+STATICV6 --ipv4-address 192.0.2.10/24 --ipv4-gateway 192.0.2.1 --ipv6-address 2001:db8::10"
  "debian-link|dns 192.0.2.53 2001:db8::53"
  "debian-link|dns --pending 198.51.100.53"
  "debian-resolved|dns 192.0.2.53 2001:db8::53"
  "debian-bind|dns 192.0.2.53 2001:db8::53"
  "suse|proxy set --host proxy.example.org --port 3128"
  "debian|proxy set --host proxy.example.org --port 3128"
  "redhat|move swap eth0 eth1"
  "redhat|set eth2 --mode STATICV4 --ipv4-address 192.0.2.20/24"
  "suse|set eth2 --mode STATICV4 --ipv4-address 192.0.2.20/24 --ipv4-gateway 192.0.2.1"
  "redhat-linked|move remove eth1"
  "debian-outlinks|set eth0 --mode STATICV4 --ipv4-address 192.0.2.10/24 --ipv4-gateway 192.0.2.1"
  "redhat-rootlink|set eth0 --mode STATICV4 --ipv4-address 192.0.2.10/24 --ipv4-gateway 192.0.2.1"
  "suse-rootrel|proxy set --host proxy.example.org --port 3128"
  "debian-rootslash|dns 192.0.2.53 2001:db8::53"
  "redhat-noproc|move swap eth0 eth1"
  "networkmanager|set eth0 --mode DHCPV4+STATICV6 --ipv6-address 2001:db8::10 --ipv6-gateway 2001:db8::1"
  "networkmanager|set eth2 --mode STATICV4 --ipv4-address 192.0.2.20/24"
  "networkmanager-readonly|set eth1 --mode STATICV4 --ipv4-address 192.0.2.21/24"
  "networkmanager|move swap eth0 eth1"
  "netplan|set eth0 --mode STATICV4 --ipv4-address 198.51.100.7/24 --ipv4-gateway 198.51.100.1"
  "networkd|set eth2 --mode STATICV4 --ipv4-address 192.0.2.20/24 --ipv4-gateway 192.0.2.1"
  "debian|apply $fixtures/config_net/state/changed.json"
  "redhat|apply $fixtures/config_net/state/changed.json"
  "suse|apply $fixtures/config_net/state/changed.json"
  "netplan-resolved|apply $fixtures/config_net/state/changed.json"
  "networkd-resolved|apply $fixtures/config_net/state/changed.json"
)

# Without a mount namespace of our own, no bind mount and no hidden /proc.
[ -n "${KESP_CRASH_NAMESPACE:-}" ] || cases=("${cases[@]//debian-bind|*/}")
[ -n "${KESP_CRASH_NAMESPACE:-}" ] || cases=("${cases[@]//*-noproc|*/}")
# A sanitizer's runtime finds its options (and its leak checker its threads)
# through /proc: a sanitizer build leaves the run without /proc to the normal one.
! grep -qa __asan_init "$tool" || cases=("${cases[@]//*-noproc|*/}")
# The host's directories that the outlinks variant's links name: never touched.
outside=$work/outside
mkdir -p "$outside/run" "$outside/lib"

make_tree() {  # family dir
  local family=${1%%-*}
  mkdir -p "$2/run/kesp" && cp -a "$fixtures/config_net/$family/." "$2/" &&
    find "$2" -name '*.nmconnection' -type f -exec chmod 600 {} + &&
    "$stand_ins" plant "$2" || return 1
  if [ "$1" = debian-outlinks ]; then  # inside the image they lead to its own copy
    rm -rf "$2/run" "$2/var/lib" && mkdir -p "$2/var" "$2$outside/run/kesp" "$2$outside/lib/kesp"
    ln -s "$outside/run" "$2/run" && ln -s "$outside/lib" "$2/var/lib"
  fi
  if [ "$1" = redhat-linked ]; then
    local scripts=$2/etc/sysconfig/network-scripts
    mv "$scripts/ifcfg-eth1" "$2/etc/sysconfig/eth1.conf" && ln -s /etc/sysconfig/eth1.conf "$scripts/ifcfg-eth1"
  fi
  if [ "$1" = debian-link ]; then  # resolv.conf as a resolver manager keeps it
    mkdir -p "$2/run/resolvconf" && mv "$2/etc/resolv.conf" "$2/run/resolvconf/resolv.conf"
    ln -s ../run/resolvconf/resolv.conf "$2/etc/resolv.conf"
  fi
  if [ "$1" = debian-resolved ]; then  # resolved's: its drop-in directory made by the change
    rm "$2/etc/resolv.conf" && ln -s ../run/systemd/resolve/stub-resolv.conf "$2/etc/resolv.conf"
  fi
  case $1 in net*-resolved) ln -s ../run/systemd/resolve/stub-resolv.conf "$2/etc/resolv.conf" ;; esac
  if [ "$1" = networkmanager-readonly ]; then  # a profile the image ships read-only
    mkdir -p "$2/usr/lib/NetworkManager/system-connections"
    mv "$2/etc/NetworkManager/system-connections/eth1.nmconnection" "$2/usr/lib/NetworkManager/system-connections/"
  fi
  [ "$1" = debian-bind ] && cp "$2/etc/resolv.conf" "$2/run/resolv.conf.host"
  return 0
}

# A copy of the tree to run on; for debian-bind its resolv.conf is a bind
# mount (as containers have it), which can only be rewritten in place.
copy_tree() {  # family from to
  cp -a "$2" "$3"
  if [ "$1" = debian-bind ]; then
    mount --bind "$3/run/resolv.conf.host" "$3/etc/resolv.conf" || exit 1
  fi
}

drop_tree() {  # dir
  mountpoint -q "$1/etc/resolv.conf" 2>/dev/null && umount "$1/etc/resolv.conf"
  rm -rf "$1"
}

entries() {  # path, type, mode, owner and link target of each entry; then content sums
  (cd "$1" && find . -mindepth 1 -printf '%p\t%y %m %U:%G\t%l\n' | LC_ALL=C sort &&
    find . -type f ! -name '*.nmconnection' -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum &&
    # A new profile's UUID is fresh in every run: all else of it must match.
    find . -type f -name '*.nmconnection' | LC_ALL=C sort | while read -r f; do
      echo "$(sed 's/^uuid=.*/uuid=/' "$f" | md5sum | cut -d' ' -f1)  $f"; done)
}

# The command line of the tool on the tree at $work/DIR (run from $work), the
# root spelled as the variant says; into the array "command".
tool_command() {  # family DIR
  local root=$work/$2
  case $1 in
    *-rootlink) ln -sfn "$2" "$work/$2.link" && root=$work/$2.link ;;
    *-rootrel) root=$2 ;;
    *-rootslash) root=${work}//$2/ ;;
  esac
  command=("$tool" --root "$root")
  # As in early boot: no /proc mounted.
  [[ $1 != *-noproc ]] ||
    command=(unshare -m --propagation private sh -c 'umount -l /proc && exec "$0" "$@"' "${command[@]}")
}

kills=0 damaged=0 mixed=0 unrecovered=0
for row in "${cases[@]}"; do
  [ -n "$row" ] || continue
  family=${row%%|*}
  read -r -a args <<<"${row#*|}"
  make_tree "$family" "$work/before"
  entries "$work/before" >"$work/before.list"
  copy_tree "$family" "$work/before" "$work/after"
  tool_command "$family" after
  if ! (cd "$work" && "${command[@]}" "${args[@]}") >"$work/out" 2>&1; then
    echo "FAIL: $family ${args[*]} does not succeed uncut:"; cat "$work/out"; exit 1
  fi
  ran=$("$stand_ins" ran "$work/after")
  [ -z "$ran" ] || { echo "FAIL: $family ${args[*]} runs programs of the image: $ran"; exit 1; }
  entries "$work/after" >"$work/after.list"
  drop_tree "$work/after"
  copy_tree "$family" "$work/before" "$work/run"
  tool_command "$family" run
  (cd "$work" && strace -f -qq -o "$work/trace" -e trace="$(IFS=,; echo "${calls[*]}")" \
    "${command[@]}" "${args[@]}") >/dev/null 2>&1
  drop_tree "$work/run"
  for call in "${calls[@]}"; do
    count=$(grep -c "^[0-9]* *$call(" "$work/trace")
    # A sample starts at a different call each time, so that sampled runs differ.
    for ((n = 1 + (kills % stride); n <= count; n += stride)); do
      copy_tree "$family" "$work/before" "$work/run"
      (cd "$work" && strace -f -qq -o /dev/null -e trace="$call" \
        -e inject="$call:signal=KILL:when=$n" "${command[@]}" "${args[@]}"; true) >/dev/null 2>&1
      kills=$((kills + 1))
      if ! "$tool" --root "$work/run" recover >"$work/out" 2>&1; then
        unrecovered=$((unrecovered + 1))
        echo "recover failed: $family ${args[*]}, $call #$n:"; cat "$work/out"
      fi
      entries "$work/run" >"$work/now.list"
      if ! cmp -s "$work/now.list" "$work/before.list" && ! cmp -s "$work/now.list" "$work/after.list"; then
        # Entries that are neither as before nor as after, and entries lost.
        bad=$(LC_ALL=C comm -23 "$work/now.list" "$work/before.list" |
          LC_ALL=C comm -23 - "$work/after.list" | wc -l)
        lost=$(LC_ALL=C comm -12 "$work/before.list" "$work/after.list" |
          LC_ALL=C comm -23 - "$work/now.list" | wc -l)
        if [ $((bad + lost)) -gt 0 ]; then
          damaged=$((damaged + bad + lost))
          echo "damaged: $family ${args[*]}, $call #$n:"
          diff "$work/before.list" "$work/now.list" | head -5
        else
          mixed=$((mixed + 1))
          echo "mixed: $family ${args[*]}, $call #$n"
        fi
      fi
      drop_tree "$work/run"
    done
  done
  rm -rf "$work/before"
done
escaped=$(find "$outside" -mindepth 2 | wc -l)
[ "$escaped" -eq 0 ] || { echo "created outside the image:"; find "$outside" -mindepth 2; }
echo "$kills kills, $damaged files damaged, $mixed mixed, $unrecovered recoveries failed"
[ "$kills" -gt 0 ] && [ "$damaged" -eq 0 ] && [ "$mixed" -eq 0 ] && [ "$unrecovered" -eq 0 ] &&
  [ "$escaped" -eq 0 ]
