#!/usr/bin/env bash
# The appliance out of the box. First the host-name script on fixture roots,
# through the tool, in a UTS namespace of its own; then the package installed
# with apt into a Debian 12 minimal root made by debootstrap (built once, kept
# in the cache directory), used through an overlay in private namespaces:
# what it declares is pulled in, `hostname NAME` works live and keeps the
# domain, the console's "Set Timezone" sets the zone, a live `set` runs
# everything it needs, DHCPv4 without a client is
# refused, systemd installed afterwards leaves tty1 to the console, the
# administrator's settings survive a reinstallation and purge leaves nothing.
#   appliance_image_test.sh SOURCE_DIR BUILD_DIR SCRATCH_DIR [CACHE_DIR]
# Exit 77 (skipped) without root, or when no minimal root can be made.
set -euo pipefail
source_dir=$(realpath "$1") build_dir=$(realpath "$2") scratch=$3
cache=${4:-/var/cache/kesp-test}
tool=$build_dir/tools/config_net/kesp_config_net
script=$source_dir/tools/set_hostname/kesp_set_hostname

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root (namespaces, chroot)"

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
rm -rf "$scratch"  # kept on failure
mkdir -p "$scratch"
scratch=$(realpath "$scratch")

# --- The host-name script on fixture roots -----------------------------------
# NAME ("-" runs the script without one, as after DHCP) | lease host name ("-"
# none) | status | etc/hostname after | 127.0.1.1 line after
hosts_before="127.0.1.1 olddeb.example.org olddeb # installer"
while IFS='|' read -r name lease status hostname_after line_after; do
  root=$scratch/fixture
  rm -rf "$root" && mkdir -p "$root/etc/network" "$root/var/lib/dhcp" "$root/opt/tolvex/share/kesp"
  install -m 755 "$script" "$root/opt/tolvex/share/kesp/"
  echo olddeb >"$root/etc/hostname"
  printf '127.0.0.1\tlocalhost\n%s\n' "$hosts_before" >"$root/etc/hosts"
  [ "$lease" = - ] || printf 'lease {\n  option host-name "%s";\n}\n' "$lease" \
    >"$root/var/lib/dhcp/dhclient.eth0.leases"
  if [ "$name" = - ]; then
    command=(env "KESP_SYSTEM_ROOT=$root" "$root/opt/tolvex/share/kesp/kesp_set_hostname")
  else  # through the library, which tells the script its root
    command=("$tool" --system-root "$root" hostname "$name")
  fi
  actual=$(unshare -u bash -c 'hostname before; "$@" >/dev/null 2>&1; echo "$? $(hostname)"' \
    - "${command[@]}")
  expected_running=$([ "$hostname_after" = olddeb ] && echo before || echo "$hostname_after")
  [ "$actual" = "$status $expected_running" ] ||
    fail "hostname '$name' lease '$lease': status and running name '$actual', expected '$status $expected_running'"
  [ "$(cat "$root/etc/hostname")" = "$hostname_after" ] ||
    fail "hostname '$name' lease '$lease': etc/hostname is '$(cat "$root/etc/hostname")'"
  [ "$(sed -n 2p "$root/etc/hosts")" = "$line_after" ] ||
    fail "hostname '$name' lease '$lease': the 127.0.1.1 line is '$(sed -n 2p "$root/etc/hosts")'"
done <<EOF
newname|-|0|newname|127.0.1.1 newname.example.org newname # installer
web1.example.net|-|0|web1.example.net|127.0.1.1 web1.example.net web1 # installer
-|fromdhcp|0|fromdhcp|127.0.1.1 fromdhcp.example.org fromdhcp # installer
-|bad name;x|0|olddeb|$hosts_before
-|-|0|olddeb|$hosts_before
EOF
# Run directly with a malformed name, or with two, it changes nothing.
for arguments in "-x" "a b"; do
  # shellcheck disable=SC2086
  KESP_SYSTEM_ROOT=$root unshare -u "$script" $arguments >/dev/null 2>&1 && fail "accepted '$arguments'"
done
[ "$(cat "$root/etc/hostname")" = olddeb ] || fail "a refused name reached etc/hostname"
[ "$(hostname)" != newname ] || fail "this machine's host name was changed"

# --- The package in a Debian 12 minimal root ---------------------------------
image=$cache/bookworm-minbase
if [ ! -d "$image" ]; then
  command -v debootstrap >/dev/null || skip "debootstrap is not installed (scripts/install-deps)"
  mkdir -p "$cache"
  rm -rf "$image.partial"
  if ! debootstrap --variant=minbase bookworm "$image.partial" >"$scratch/debootstrap.log" 2>&1; then
    tail -5 "$scratch/debootstrap.log"
    rm -rf "$image.partial"
    skip "debootstrap cannot make a minimal root (the package registry unreachable?)"
  fi
  mv "$image.partial" "$image"
fi
mkdir -p "$cache/apt-archives/partial"
deb=$("$source_dir/scripts/package" --build "$build_dir" --output "$scratch/out")

# Inside: a private mount, PID and UTS namespace; the overlay keeps the cached
# root as it is, and everything mounted goes when the namespace does.
unshare -m -p -u -f --propagation private bash -s "$image" "$scratch" "$deb" "$cache/apt-archives" \
  >"$scratch/image.log" 2>&1 <<'INSIDE' || fail "the steps in the minimal root failed (see below)"
set -euo pipefail
image=$1 scratch=$2 deb=$3 archives=$4
m=$scratch/merged
mkdir -p "$scratch/ov" "$m"
mount -t tmpfs tmpfs "$scratch/ov"
mkdir "$scratch/ov/upper" "$scratch/ov/work"
mount -t overlay overlay -o "lowerdir=$image,upperdir=$scratch/ov/upper,workdir=$scratch/ov/work" "$m"
mount -t proc proc "$m/proc"
mount --rbind /dev "$m/dev"
mount -t tmpfs tmpfs "$m/run"
mount --bind "$archives" "$m/var/cache/apt/archives"
cp "$deb" "$m/tmp/"
in_root() { chroot "$m" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
step() { echo "== $*"; }

step install
in_root apt-get update -qq
in_root apt-get install -y -q "/tmp/${deb##*/}"
for package in iproute2 ifupdown isc-dhcp-client; do
  in_root dpkg-query -W -f '${Status}\n' "$package" | grep -q '^install ok installed$' ||
    { echo "CHECK: $package was not installed"; }
done
[ -e "$m/var/lib/kesp/getty-handover-pending" ] || echo "CHECK: no pending getty hand-over without systemd"

step timezone
# The console on a terminal, as the operator meets it: "Set Timezone" runs the
# shipped tool, and the zone typed there is the image's once the tool returns.
tm() { tmux -L "kesp-image-$$" "$@"; }
screen_has() {
  local i
  for i in $(seq 150); do tm capture-pane -p 2>/dev/null | grep -q "$1" && return 0; sleep 0.1; done
  echo "CHECK: no '$1' on the screen:"; tm capture-pane -p 2>/dev/null || true
  return 1
}
tm new-session -d -x 100 -y 30 "unshare -n chroot '$m' env -i TERM=xterm-256color \
  PATH=/usr/sbin:/usr/bin:/sbin:/bin /opt/tolvex/bin/kesp_login"
if screen_has 'Set Timezone'; then
  tm send-keys Down Enter
  if screen_has 'Current zone: Etc/UTC'; then
    tm send-keys Europe/Berlin Enter
    screen_has 'Press Enter' && tm send-keys Enter
  fi
fi
tm kill-server 2>/dev/null || true
[ "$(cat "$m/etc/timezone")" = Europe/Berlin ] || echo "CHECK: /etc/timezone $(cat "$m/etc/timezone")"
[ "$(in_root date +%Z)" = CET ] || echo "CHECK: the zone in effect is $(in_root date +%Z)"

step hostname
echo olddeb >"$m/etc/hostname"
printf '127.0.0.1 localhost\n127.0.1.1 olddeb.example.org olddeb\n' >"$m/etc/hosts"
in_root /usr/sbin/kesp_config_net hostname newname
[ "$(hostname)" = newname ] || echo "CHECK: running name $(hostname)"
grep -qx '127.0.1.1 newname.example.org newname' "$m/etc/hosts" || echo "CHECK: hosts $(cat "$m/etc/hosts")"
[ "$(in_root /usr/sbin/kesp_config_net hostname)" = newname ] || echo "CHECK: hostname does not read back"

step set
mkdir -p "$m/run/network"
unshare -n chroot "$m" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin sh -c '
  ip link set lo up && ip link add eth0 type veth peer name peer0 && ip link set peer0 up
  kesp_config_net set eth0 --mode STATICV4 --ipv4-address 192.0.2.10/24 2>&1; echo "status $?"
  ip -4 -o addr show eth0
  apt-get remove -y -q isc-dhcp-client >/dev/null 2>&1
  kesp_config_net set eth0 --mode DHCPV4 2>&1; echo "status $?"
  ip -4 -o addr show eth0' >"$scratch/set.log" 2>&1
cat "$scratch/set.log"
! grep -q 'not found' "$scratch/set.log" || echo "CHECK: a program was not found"
grep -q '^status 0$' "$scratch/set.log" || echo "CHECK: the static set failed"
grep -q 'no DHCP client' "$scratch/set.log" || echo "CHECK: DHCPv4 without a client not refused"
[ "$(grep -c 'inet 192.0.2.10/24' "$scratch/set.log")" = 2 ] ||
  echo "CHECK: eth0 lost its address to a refused change"

step systemd
in_root apt-get install -y -q --no-install-recommends systemd >/dev/null
wants=$m/etc/systemd/system/getty.target.wants
[ -L "$wants/kesp-login@tty1.service" ] || echo "CHECK: the console is not enabled"
[ ! -e "$wants/getty@tty1.service" ] || echo "CHECK: getty@tty1 enabled beside the console"

step upgrade
echo '<!-- edited -->' >>"$m/opt/tolvex/etc/kesp/kesp.xml"
in_root dpkg -i "/tmp/${deb##*/}" >/dev/null
grep -q 'edited' "$m/opt/tolvex/etc/kesp/kesp.xml" || echo "CHECK: the edited settings were replaced"

step purge
echo "console output" >"$m/var/log/kesp_login.log"
in_root apt-get purge -y -q kesp >/dev/null
for left in /opt/tolvex/etc/kesp/kesp.xml /var/log/kesp_login.log; do
  [ ! -e "$m$left" ] || echo "CHECK: purge leaves $left"
done
INSIDE
if grep -q '^CHECK: ' "$scratch/image.log" || [ "$failures" -ne 0 ]; then
  cat "$scratch/image.log"
  grep '^CHECK: ' "$scratch/image.log" | sed 's/^CHECK: /FAILED: /' >&2 || true
  echo "appliance image test: failed" >&2
  exit 1
fi
grep -E '^(== |status |kesp_config_net: )' "$scratch/image.log" || true  # the steps taken
rm -rf "$scratch"
echo "appliance image test: ok (host-name table, package in a Debian 12 minimal root)"
