#!/usr/bin/env bash
# networkd itself, in a network and mount namespace of this test, applies
# what kesp_config_net's transaction wrote: the new address comes up on the
# veth, and a change whose address never comes is put back by the
# transaction. networkctl cannot reach a daemon without a bus here, so the
# root's networkctl restarts the daemon: that is this test's reload.
# Usage: networkd_live_test.sh TOOL FIXTURES
set -u
[ "$(id -u)" = 0 ] || { echo "skipped: needs root"; exit 0; }
[ -x /lib/systemd/systemd-networkd ] || { echo "skipped: no systemd-networkd"; exit 0; }
if [ -z "${KESP_NETWORKD_INSIDE:-}" ]; then
  KESP_NETWORKD_INSIDE=1 exec unshare --net --mount --fork "$0" "$@"
fi
tool=$(realpath "$1")
fixtures=$(realpath "$2")
work=$(mktemp -d /tmp/kesp-networkd-live.XXXXXX)
root=$work/root
cleanup() {
  [ -f "$work/networkd.pid" ] && kill "$(cat "$work/networkd.pid")" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; tail -n 20 "$work/networkd.log"; exit 1; }

cp -a "$fixtures/config_net/networkd" "$root"
mkdir -p "$root/usr/bin" "$root/opt/tolvex/share/kesp" "$work/bin"
cp "$fixtures/config_net/programs/killall" "$work/bin/"
cp "$fixtures/config_net/programs/kesp_set_hostname" "$fixtures/config_net/programs/kesp_ovf_process" \
  "$root/opt/tolvex/share/kesp/"
cat >"$root/usr/bin/networkctl" <<SCRIPT
#!/bin/sh
echo "\$*" >>"$work/networkctl.log"
# Down as the daemon takes a link down: down, and its addresses gone.
[ "\$1" = down ] && { ip link set dev "\$2" down; ip addr flush dev "\$2"; exit 0; }
[ "\$1" = reload ] || exit 0
kill \$(cat "$work/networkd.pid" 2>/dev/null) 2>/dev/null; sleep 0.2
# Once: the daemon stays away, as if the new files had broken it.
if [ -f "$work/break-once" ]; then rm -f "$work/break-once"; exit 0; fi
SYSTEMD_LOG_TARGET=console /lib/systemd/systemd-networkd >>"$work/networkd.log" 2>&1 &
echo \$! >"$work/networkd.pid"
SCRIPT
chmod 755 "$root/usr/bin/networkctl"

mount --make-rprivate /
mount -t sysfs -o ro sysfs /sys  # read-only: networkd runs without udev
mount -t tmpfs tmpfs /run
mkdir -p /run/systemd/network
mount --bind "$root/etc/systemd/network" /etc/systemd/network
mount --bind "$root/usr/lib/systemd/network" /usr/lib/systemd/network
ip link set lo up
ip link add eth0 type veth peer name kesppeer0
ip link set kesppeer0 up
"$root/usr/bin/networkctl" reload

has_address() {  # address, within about 5 seconds
  for _ in $(seq 50); do
    ip -br addr show eth0 | grep -q " $1" && return 0
    sleep 0.1
  done
  return 1
}
has_address 192.0.2.10/24 || fail "networkd did not apply the fixture's address"

run() { PATH=$work/bin:$PATH "$tool" --system-root "$root" "$@" >"$work/out" 2>&1; }
run set eth0 --mode STATICV4 --ipv4-address 198.51.100.7/24 --ipv4-gateway 198.51.100.1 ||
  fail "the change failed: $(cat "$work/out")"
has_address 198.51.100.7/24 || fail "networkd did not bring up the new address"
ip -br addr show eth0 | grep -q 192.0.2.10 && fail "the old address stayed"
ip route show default | grep -q "via 198.51.100.1 dev eth0" || fail "no new default route"
[ "$(tr '\n' ' ' <"$work/networkctl.log")" = "reload down eth0 reload reconfigure eth0 " ] ||
  fail "networkctl was not asked to reload and reconfigure: $(cat "$work/networkctl.log")"

before=$(cat "$root/etc/systemd/network/20-wired.network")
touch "$work/break-once"
if run set eth0 --mode STATICV4 --ipv4-address 203.0.113.9/24; then
  fail "a change whose address never came succeeded"
fi
grep -q "Successfully restored previous network settings" "$work/out" || fail "not restored: $(cat "$work/out")"
[ "$(cat "$root/etc/systemd/network/20-wired.network")" = "$before" ] || fail "the file was not put back"
has_address 198.51.100.7/24 || fail "the previous address did not come back"

# Kept pending and never confirmed: the watcher puts the file and the address back.
before=$(cat "$root/etc/systemd/network/20-wired.network")
run set eth0 --mode STATICV4 --ipv4-address 203.0.113.9/24 --confirm-within 3 ||
  fail "the pending change failed: $(cat "$work/out")"
has_address 203.0.113.9/24 || fail "networkd did not bring up the pending address"
for _ in $(seq 60); do [ -e "$root/var/lib/kesp/change.journal" ] || break; sleep 0.25; done
[ ! -e "$root/var/lib/kesp/change.journal" ] || fail "the unconfirmed change was not put back"
[ "$(cat "$root/etc/systemd/network/20-wired.network")" = "$before" ] || fail "the file was not put back"
has_address 198.51.100.7/24 || fail "the previous address did not come back after the deadline"
echo "networkd applied the change, the restored file and the unconfirmed change put back"
