#!/usr/bin/env bash
# The tool against a real NetworkManager: its packages unpacked (never
# installed), the daemon run in network, mount and PID namespaces of this
# test's own with its own D-Bus daemon, managing the test's veth "eth0".
# `set` writes the profile, loads it and brings it up through nmcli; the
# address must arrive on the link and a second `set` must replace it. A third
# that brings no address (DHCP, no server on the link) must put the profile
# back and bring it up again; it takes the library's full address wait.
#   networkmanager_live_test.sh TOOL [PACKAGE_DIR]
# Exit 77 (skipped) without root or without the packages.
set -euo pipefail
tool=$(realpath "$1")
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root (namespaces)"
command -v dbus-daemon >/dev/null || skip "no dbus-daemon"
dir=$(mktemp -d /tmp/kesp-nm-live.XXXXXX)
trap 'rm -rf "$dir"' EXIT
if [ -n "${2:-}" ]; then
  cp "$2"/*.deb "$dir/"
else
  (cd "$dir" && apt-get download network-manager libnm0 libndp0 libteamdctl0 libmm-glib0 \
    libbluetooth3 libnewt0.52) >"$dir/download.log" 2>&1 || skip "packages not available"
fi
for p in "$dir"/*.deb; do dpkg -x "$p" "$dir/pkg"; done
cat >"$dir/dbus-system.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <pidfile>/run/dbus/pid</pidfile>
  <policy context="default">
    <allow user="root"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
cat >"$dir/NetworkManager.conf" <<'CONF'
[main]
plugins=keyfile
auth-polkit=false
dhcp=internal
dns=none
rc-manager=unmanaged
systemd-resolved=false
no-auto-default=*
[keyfile]
unmanaged-devices=none
[device]
match-device=*
managed=1
[connectivity]
enabled=false
CONF

cat >"$dir/inside.sh" <<'INSIDE'
set -eu
DIR=$1 TOOL=$2
mkdir -p "$DIR/nm-etc/system-connections" "$DIR/nm-var" "$DIR/ov"
cp "$DIR/NetworkManager.conf" "$DIR/nm-etc/"
mount -t tmpfs tmpfs /run; mkdir /run/dbus
mount -t sysfs -o ro sysfs /sys          # without udev the daemon needs a read-only sysfs
mount -t tmpfs tmpfs "$DIR/ov"
for d in etc var/lib usr/bin usr/sbin opt; do n=${d//\//_}; mkdir -p "$DIR/ov/$n-u" "$DIR/ov/$n-w" "/$d"
  mount -t overlay overlay -o "lowerdir=/$d,upperdir=$DIR/ov/$n-u,workdir=$DIR/ov/$n-w" "/$d"; done
mkdir -p /etc/NetworkManager /var/lib/NetworkManager
mount --bind "$DIR/nm-etc" /etc/NetworkManager; mount --bind "$DIR/nm-var" /var/lib/NetworkManager
cp "$DIR/pkg/usr/bin/nmcli" /usr/bin/nmcli; cp "$DIR/pkg/usr/sbin/NetworkManager" /usr/sbin/
ip link set lo up; ip link add eth0 type veth peer name peer0; ip link set peer0 up
dbus-daemon --config-file="$DIR/dbus-system.conf" --fork
export LD_LIBRARY_PATH=$DIR/pkg/usr/lib/x86_64-linux-gnu DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket
"$DIR/pkg/usr/sbin/NetworkManager" --no-daemon --debug --config=/etc/NetworkManager/NetworkManager.conf >"$DIR/nm.log" 2>&1 &
for _ in $(seq 50); do nmcli -t -f RUNNING general 2>/dev/null | grep -q running && break; sleep 0.2; done
fail=0
check() { if ! eval "$2"; then echo "FAILED: $1"; fail=1; fi; }
# A new interface: its profile is made, loaded and brought up.
"$TOOL" set eth0 --mode STATICV4 --ipv4-address 192.0.2.10/24 --ipv4-gateway 192.0.2.1 >"$DIR/set1" 2>&1 || { cat "$DIR/set1"; fail=1; }
check "first address on the link" 'ip -br -4 addr show eth0 | grep -q "192.0.2.10/24"'
check "profile mode 0600" '[ "$(stat -c %a /etc/NetworkManager/system-connections/eth0.nmconnection)" = 600 ]'
check "the daemon has the profile" 'nmcli -t -f NAME,DEVICE connection show --active | grep -q "^eth0:eth0$"'
# The profile edited in place: the new address replaces the old one.
"$TOOL" set eth0 --mode STATICV4 --ipv4-address 198.51.100.10/24 >"$DIR/set2" 2>&1 || { cat "$DIR/set2"; fail=1; }
check "second address on the link" 'ip -br -4 addr show eth0 | grep -q "198.51.100.10/24"'
check "first address gone" '! ip -br -4 addr show eth0 | grep -q "192.0.2.10"'
check "show reads the profile" '"$TOOL" show eth0 | grep -q "ipv4: 198.51.100.10/24"'
profile=/etc/NetworkManager/system-connections/eth0.nmconnection
kept=$(cat "$profile")
if "$TOOL" set eth0 --mode DHCPV4 >"$DIR/set3" 2>&1; then echo "FAILED: a change without an address succeeded"; fail=1; fi
check "the old profile is back" '[ "$(cat "$profile")" = "$kept" ]'
check "the old address is back on the link" 'ip -br -4 addr show eth0 | grep -q "198.51.100.10/24"'
check "the daemon runs the old profile" 'nmcli -t -f NAME,DEVICE connection show --active | grep -q "^eth0:eth0$"'
[ "$fail" -eq 0 ] || { tail -n 30 "$DIR/nm.log"; cat "$DIR/set1" "$DIR/set2" "$DIR/set3"; }
exit "$fail"
INSIDE
timeout 280 unshare --net --mount --pid --fork --mount-proc --propagation private \
  bash "$dir/inside.sh" "$dir" "$tool"
echo "live NetworkManager test passed"
