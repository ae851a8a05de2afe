#!/usr/bin/env bash
# The appliance as it runs: Debian roots booted by systemd in containers
# (systemd-nspawn), each in a network namespace of the test's own whose eth0
# is one end of a veth pair; the other end sits in a "lan" namespace with the
# gateway, and no DHCP server. The package is installed
# with apt; then, on each system: a live change, export and apply, a DHCP change that gets no
# answer (it ends within the change's bound + 10 s, the old address answers,
# no DHCP client is left), a change kept pending (put back by systemd's timer
# when unconfirmed, kept when confirmed, put back at boot when the appliance
# reboots first), a reboot (the change stays), and a power cut while
# a change waits for its address (the next boot ends within the recovery
# unit's bound, the journal is gone, the old address is up).
#
#   booted_appliance_test.sh SOURCE_DIR BUILD_DIR SCRATCH_DIR [CACHE_DIR]
#
# KESP_BOOTED_SYSTEMS names the systems to boot (ifupdown netplan
# networkmanager); by default one of them, a different one each day, so that
# a test run stays short: scripts/booted-test boots them all. The roots are
# made once with debootstrap and kept in CACHE_DIR (/var/cache/kesp-test).
# Exit 77 (skipped) without root, without systemd-nspawn or debootstrap, or
# when no root can be made (the package registry unreachable).
set -euo pipefail
source_dir=$(realpath "$1") build_dir=$(realpath "$2") scratch=$3
cache=${4:-/var/cache/kesp-test}
all_systems=(ifupdown netplan networkmanager)
bound=30           # the change's time bound (ADDRESS_WAIT_SECONDS)
recover_bound=45   # kesp-recover.service's TimeoutStartSec
mac=02:00:5e:10:00:10

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root (namespaces, containers)"
command -v systemd-nspawn >/dev/null || skip "systemd-nspawn is not installed (scripts/install-deps)"
command -v debootstrap >/dev/null || skip "debootstrap is not installed (scripts/install-deps)"
command -v ping >/dev/null || skip "ping is not installed (scripts/install-deps)"

if [ -n "${KESP_BOOTED_SYSTEMS:-}" ]; then
  read -r -a systems <<<"$KESP_BOOTED_SYSTEMS"
else
  systems=("${all_systems[@]:$((10#$(date +%j) % ${#all_systems[@]})):1}")
fi

rm -rf "$scratch" && mkdir -p "$scratch" && scratch=$(realpath "$scratch")
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
note() { echo "== $*"; }

# --- Roots ---------------------------------------------------------------------
# suite and packages of each system; what the package declares comes with it
# (apt in the container reaches no registry).
suite_of() { case $1 in ifupdown) echo bookworm ;; *) echo trixie ;; esac; }
packages_of() {
  local common="systemd systemd-sysv dbus iproute2 iputils-ping procps"
  case $1 in
    ifupdown) echo "$common ifupdown isc-dhcp-client" ;;
    netplan) echo "$common udev netplan.io systemd-resolved systemd-networkd" ;;
    networkmanager) echo "$common udev network-manager" ;;
  esac
}

make_root() {
  local name=$1 image=$cache/booted-$1
  [ -d "$image" ] && return 0
  mkdir -p "$cache"
  rm -rf "$image.partial"
  note "making the $name root (debootstrap $(suite_of "$name"), kept in $cache)"
  if ! debootstrap --variant=minbase "$(suite_of "$name")" "$image.partial" \
    >"$scratch/debootstrap-$name.log" 2>&1; then
    tail -5 "$scratch/debootstrap-$name.log"
    rm -rf "$image.partial"
    return 1
  fi
  local wanted=() package
  # A package that the suite does not split out is in another it pulls in.
  for package in $(packages_of "$name"); do
    chroot "$image.partial" apt-cache show "$package" >/dev/null 2>&1 && wanted+=("$package")
  done
  mount -t proc proc "$image.partial/proc"
  local status=0
  chroot "$image.partial" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${wanted[@]}" >"$scratch/apt-$name.log" 2>&1 ||
    status=$?
  umount "$image.partial/proc"
  if [ "$status" -ne 0 ]; then
    tail -5 "$scratch/apt-$name.log"
    rm -rf "$image.partial"
    return 1
  fi
  # What a container is not: apt's timers would take the package lock.
  for unit in apt-daily.timer apt-daily-upgrade.timer dpkg-db-backup.timer e2scrub_all.timer \
    fstrim.timer; do
    ln -sf /dev/null "$image.partial/etc/systemd/system/$unit"
  done
  echo "kesp-$name" >"$image.partial/etc/hostname"
  mv "$image.partial" "$image"
}

for system in "${systems[@]}"; do
  make_root "$system" || skip "no $system root can be made (the package registry unreachable?)"
done
[ "${KESP_BOOTED_ROOTS_ONLY:-0}" = 1 ] && { echo "roots ready"; exit 0; }
deb=$("$source_dir/scripts/package" --build "$build_dir" --output "$scratch/out")

# --- One system ----------------------------------------------------------------
lan=kesp-booted-lan-$$ guest=kesp-booted-guest-$$
nspawn_pid="" merged=""

cleanup() {
  [ -n "$nspawn_pid" ] && { kill -9 "$(container_init)" 2>/dev/null || true; wait "$nspawn_pid" 2>/dev/null || true; }
  ip netns del "$guest" 2>/dev/null || true
  ip netns del "$lan" 2>/dev/null || true
  if [ -n "$merged" ]; then
    umount "$merged" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# Namespaces and the veth pair anew before every boot, with the same MAC.
make_network() {
  ip netns del "$guest" 2>/dev/null || true
  ip netns del "$lan" 2>/dev/null || true
  ip netns add "$lan" && ip netns add "$guest"
  ip -n "$lan" link add lan0 type veth peer name eth0 netns "$guest"
  ip -n "$guest" link set eth0 address "$mac"
  ip -n "$lan" addr add 192.0.2.1/24 dev lan0
  ip -n "$lan" link set lan0 up && ip -n "$lan" link set lo up
}

# The container's init: PID 1 of its own PID namespace, in the guest network.
container_init() {
  local pid
  for pid in $(pgrep -x systemd 2>/dev/null); do
    [ "$(awk '/^NSpid:/ {print $NF}' "/proc/$pid/status" 2>/dev/null)" = 1 ] || continue
    [ "$(readlink "/proc/$pid/ns/net")" = "$(ip netns exec "$guest" readlink /proc/self/ns/net)" ] &&
      { echo "$pid"; return 0; }
  done
  return 1
}

# A command in the running container, as one of its services' would run.
in_guest() {
  nsenter -t "$(container_init)" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# Boots the root (its overlay as it stands); returns once boot has finished,
# or fails after limit seconds. Sets took to the seconds boot took.
took=0
boot() {
  local limit=$1 start=$SECONDS
  make_network
  # ip netns exec mounts /sys anew, without the cgroup hierarchies: they are
  # mounted again and the container gets a cgroup of its own in them.
  ip netns exec "$guest" sh -c '
    mount -t tmpfs -o mode=755 tmpfs /sys/fs/cgroup
    mkdir /sys/fs/cgroup/systemd /sys/fs/cgroup/unified
    mount -t cgroup -o none,name=systemd cgroup /sys/fs/cgroup/systemd
    mount -t cgroup2 cgroup2 /sys/fs/cgroup/unified
    for hierarchy in systemd unified; do
      mkdir -p "/sys/fs/cgroup/$hierarchy/$1"
      echo $$ >"/sys/fs/cgroup/$hierarchy/$1/cgroup.procs"
    done
    shift
    exec systemd-nspawn "$@"' - "kesp-booted-$$" -q -D "$merged" -b --register=no --keep-unit \
    --resolv-conf=off --timezone=off --capability=CAP_NET_ADMIN --link-journal=no \
    >>"$scratch/console.log" 2>&1 </dev/null &
  nspawn_pid=$!
  while [ $((SECONDS - start)) -lt "$limit" ]; do
    if container_init >/dev/null && in_guest systemctl is-system-running 2>/dev/null |
      grep -qxE 'running|degraded'; then
      took=$((SECONDS - start))
      return 0
    fi
    sleep 0.2
  done
  took=$((SECONDS - start))
  return 1
}

power_off() {
  in_guest systemctl poweroff >/dev/null 2>&1 || true
  wait "$nspawn_pid" 2>/dev/null || true
  nspawn_pid=""
}

power_cut() {
  kill -9 "$(container_init)"
  wait "$nspawn_pid" 2>/dev/null || true
  nspawn_pid=""
}

answers() { ip netns exec "$lan" ping -c 1 -W 2 "$1" >/dev/null 2>&1; }
clients_left() {
  local client
  for client in dhclient dhcpcd udhcpc; do in_guest pgrep -l -x "$client" || true; done
}

# eth0 at 192.0.2.10/24 before any change, in the system's own files.
first_configuration() {
  local root=$1
  case $2 in
    ifupdown)
      printf 'auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet static\n\taddress 192.0.2.10/24\n\tgateway 192.0.2.1\n' \
        >"$root/etc/network/interfaces" ;;
    netplan)
      mkdir -p "$root/etc/netplan"
      printf 'network:\n  version: 2\n  renderer: networkd\n  ethernets:\n    eth0:\n      addresses: [192.0.2.10/24]\n      routes: [{to: default, via: 192.0.2.1}]\n' \
        >"$root/etc/netplan/50-kesp.yaml"
      chmod 600 "$root/etc/netplan/50-kesp.yaml"
      chroot "$root" systemctl enable systemd-networkd systemd-resolved >/dev/null 2>&1 || true
      # netplan apply asks udev; a container starts none (read-only /sys).
      mkdir -p "$root/etc/systemd/system/systemd-udevd.service.d"
      printf '[Unit]\nConditionPathIsReadWrite=\n' \
        >"$root/etc/systemd/system/systemd-udevd.service.d/kesp-container.conf" ;;
    networkmanager)
      mkdir -p "$root/etc/NetworkManager/system-connections" "$root/etc/NetworkManager/conf.d"
      printf '[connection]\nid=eth0\nuuid=6a1f0d3c-7e2b-4c55-9d1a-0b8e3f2a4c10\ntype=ethernet\ninterface-name=eth0\n\n[ipv4]\nmethod=manual\naddress1=192.0.2.10/24,192.0.2.1\n\n[ipv6]\nmethod=disabled\n' \
        >"$root/etc/NetworkManager/system-connections/eth0.nmconnection"
      chmod 600 "$root/etc/NetworkManager/system-connections/eth0.nmconnection"
      printf '[main]\nno-auto-default=*\n[device]\nmatch-device=*\nmanaged=1\n' \
        >"$root/etc/NetworkManager/conf.d/kesp-container.conf" ;;
  esac
}

# The name server and the host name set live, as the system reports them.
check_names() {
  in_guest kesp_config_net dns 2>&1 | grep -qx 'nameserver 192\.0\.2\.53' ||
    fail "$name: $1, the name servers are $(in_guest kesp_config_net dns 2>&1 | tr '\n' ' ')"
  [ "$(in_guest hostname)" = kesp-renamed ] || fail "$name: $1, the host name is $(in_guest hostname)"
}

run_system() {
  local name=$1 image=$cache/booted-$1 status start elapsed
  note "$name"
  : >"$scratch/console.log"
  merged=$scratch/$name/merged
  mkdir -p "$scratch/$name/upper" "$scratch/$name/work" "$merged"
  mount -t overlay overlay \
    -o "lowerdir=$image,upperdir=$scratch/$name/upper,workdir=$scratch/$name/work" "$merged"
  cp "$deb" "$merged/tmp/"
  mount -t proc proc "$merged/proc"
  status=0
  chroot "$merged" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q "/tmp/${deb##*/}" >"$scratch/$name/install.log" 2>&1 ||
    status=$?
  umount "$merged/proc"
  [ "$status" -eq 0 ] || { fail "$name: apt could not install the package"; tail -5 "$scratch/$name/install.log"; return; }
  first_configuration "$merged" "$name"

  boot 120 || { fail "$name: the first boot did not finish in 120 s"; return; }
  note "$name: booted in $took s"
  answers 192.0.2.10 || fail "$name: the first configuration's address does not answer"

  # A live change.
  in_guest kesp_config_net set eth0 --mode STATICV4 --ipv4-address 192.0.2.11/24 \
    --ipv4-gateway 192.0.2.1 >"$scratch/$name/set.log" 2>&1 || fail "$name: the live change failed: $(tail -1 "$scratch/$name/set.log")"
  answers 192.0.2.11 || fail "$name: the new address does not answer"
  # Name servers and the host name, live.
  in_guest kesp_config_net dns 192.0.2.53 >"$scratch/$name/dns.log" 2>&1 ||
    fail "$name: dns failed: $(tail -2 "$scratch/$name/dns.log")"
  in_guest kesp_config_net hostname kesp-renamed >"$scratch/$name/hostname.log" 2>&1 ||
    fail "$name: hostname failed: $(tail -2 "$scratch/$name/hostname.log")"
  check_names "live"

  # The whole state as a document: exported, changed, applied live, and
  # applied back (each apply restarts only eth0).
  in_guest kesp_config_net export >"$merged/root/kesp-state.json" 2>"$scratch/$name/export.log" ||
    fail "$name: export failed: $(tail -1 "$scratch/$name/export.log")"
  sed 's/"192\.0\.2\.11"/"192.0.2.13"/' "$merged/root/kesp-state.json" >"$merged/root/kesp-moved.json"
  in_guest kesp_config_net apply /root/kesp-moved.json >"$scratch/$name/apply.log" 2>&1 ||
    fail "$name: apply failed: $(tail -2 "$scratch/$name/apply.log")"
  answers 192.0.2.13 || fail "$name: the applied address does not answer"
  in_guest kesp_config_net apply /root/kesp-state.json >>"$scratch/$name/apply.log" 2>&1 ||
    fail "$name: applying the exported state back failed: $(tail -2 "$scratch/$name/apply.log")"
  answers 192.0.2.11 && ! answers 192.0.2.13 || fail "$name: the exported state did not come back"

  # Kept pending and never confirmed: systemd's timer puts it back; confirmed, it stays.
  in_guest kesp_config_net set eth0 --mode STATICV4 --ipv4-address 192.0.2.12/24 --ipv4-gateway 192.0.2.1 \
    --confirm-within 5 >"$scratch/$name/pending.log" 2>&1 || fail "$name: the pending change failed: $(tail -1 "$scratch/$name/pending.log")"
  answers 192.0.2.12 || fail "$name: the pending address does not answer"
  for i in $(seq 60); do [ -e "$merged/var/lib/kesp/change.journal" ] || break; sleep 0.25; done
  [ ! -e "$merged/var/lib/kesp/change.journal" ] && answers 192.0.2.11 && ! answers 192.0.2.12 ||
    fail "$name: the unconfirmed change was not put back within its deadline + 10 s"
  in_guest kesp_config_net set eth0 --mode STATICV4 --ipv4-address 192.0.2.12/24 --ipv4-gateway 192.0.2.1 \
    --confirm-within 5 >/dev/null 2>&1 && in_guest kesp_config_net confirm >/dev/null 2>&1 ||
    fail "$name: the change could not be confirmed"
  sleep 7
  answers 192.0.2.12 || fail "$name: the confirmed change did not stay"
  in_guest kesp_config_net set eth0 --mode STATICV4 --ipv4-address 192.0.2.11/24 \
    --ipv4-gateway 192.0.2.1 >/dev/null 2>&1 || fail "$name: the address could not be set back"

  # DHCP with no server: given up within the bound, the old address back.
  start=$SECONDS
  status=0
  # On a terminal, as an operator meets it: the wait says its bound.
  in_guest script -qec "kesp_config_net set eth0 --mode DHCPV4" /dev/null \
    >"$scratch/$name/dhcp.log" 2>&1 || status=$?
  elapsed=$((SECONDS - start))
  note "$name: the DHCP change without a server ended after $elapsed s, status $status"
  [ "$status" -ne 0 ] || fail "$name: a DHCP change without a server reported success"
  [ "$elapsed" -le $((bound + 10)) ] || fail "$name: the failed DHCP change took $elapsed s (bound $bound s + 10)"
  grep -q "up to $bound seconds" "$scratch/$name/dhcp.log" ||
    fail "$name: the wait did not show its bound: $(head -3 "$scratch/$name/dhcp.log")"
  answers 192.0.2.11 || fail "$name: the old address does not answer after the failed change"
  [ -z "$(clients_left)" ] || fail "$name: DHCP clients left running: $(clients_left)"

  # A reboot keeps the change.
  power_off
  boot 120 || { fail "$name: the reboot did not finish in 120 s"; return; }
  answers 192.0.2.11 || fail "$name: the address set before the reboot does not answer"
  check_names "after the reboot"

  # A reboot before confirmation puts the change back at boot.
  in_guest kesp_config_net set eth0 --mode STATICV4 --ipv4-address 192.0.2.12/24 --ipv4-gateway 192.0.2.1 \
    --confirm-within 600 >/dev/null 2>&1 || fail "$name: the pending change before the reboot failed"
  power_off
  boot 120 || { fail "$name: the reboot before confirmation did not finish in 120 s"; return; }
  [ ! -e "$merged/var/lib/kesp/change.journal" ] && answers 192.0.2.11 ||
    fail "$name: the change pending at the reboot was not put back"

  # A power cut while a change waits for its address.
  in_guest kesp_config_net set eth0 --mode DHCPV4 >/dev/null 2>&1 &
  local i
  for i in $(seq 100); do
    [ -e "$merged/var/lib/kesp/change.journal" ] && break
    sleep 0.1
  done
  sleep 2
  [ -e "$merged/var/lib/kesp/change.journal" ] || fail "$name: no change was under way at the power cut"
  power_cut
  wait 2>/dev/null || true
  boot $((recover_bound + 60)) || fail "$name: the boot after the power cut did not finish"
  note "$name: booted after the power cut in $took s"
  [ "$took" -le $((recover_bound + 60)) ] || fail "$name: boot after the power cut took $took s"
  [ ! -e "$merged/var/lib/kesp/change.journal" ] || fail "$name: the journal is still there after boot"
  in_guest systemctl is-failed -q kesp-recover.service && fail "$name: kesp-recover.service failed: $(in_guest journalctl -b -u kesp-recover.service --no-pager | tail -5)"
  answers 192.0.2.11 || fail "$name: the old address is not up after the power cut"
  power_off
  umount "$merged"
  merged=""
}

for system in "${systems[@]}"; do run_system "$system"; done
if [ "$failures" -ne 0 ]; then
  echo "booted appliance test: $failures failed; the containers' consoles: $scratch/console.log" >&2
  exit 1
fi
rm -rf "$scratch"
echo "booted appliance test: ok (${systems[*]})"
