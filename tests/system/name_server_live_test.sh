#!/bin/bash
# Name servers on a live system, in network, mount and PID namespaces of the
# test's own: /etc and /var/lib are overlays whose changes stay in a scratch
# directory, /run is a fresh tmpfs. First resolv.conf is its own file; then it
# links to systemd-resolved's stub, with systemd-resolved (unpacked from its
# package, never installed) running in the namespace: the tool's drop-in must
# be what resolved forwards to after the reload the tool asks for. A stand-in
# for systemctl, which has no service manager to talk to here, restarts it.
# usage: name_server_live_test.sh TOOL
set -eu
tool=$(realpath "$1")
if [ "$(id -u)" != 0 ]; then echo "skipped: needs root"; exit 77; fi
work=$(mktemp -d /tmp/kesp-dns-live.XXXXXX)
trap 'rm -rf "$work"' EXIT

resolved=""
package=${KESP_RESOLVED_DEB:-}
if [ -z "$package" ] && (cd "$work" && apt-get download systemd-resolved >"$work/download.log" 2>&1); then
  package=$(ls "$work"/systemd-resolved_*.deb | head -n1)
fi
if [ -n "$package" ] && dpkg -x "$package" "$work/resolved" && [ -x "$work/resolved/lib/systemd/systemd-resolved" ]; then
  resolved=$work/resolved/lib/systemd/systemd-resolved
else
  echo "systemd-resolved not available (apt-get download systemd-resolved failed): its part is left out"
fi

cat >"$work/systemctl" <<'STANDIN'
#!/bin/sh
echo "systemctl $*" >> /run/systemctl.log
[ "$*" = "try-reload-or-restart systemd-resolved.service" ] || exit 1
kill "$(cat /run/resolved.pid)"; while kill -0 "$(cat /run/resolved.pid)" 2>/dev/null; do sleep 0.1; done
rm -f /run/systemd/resolve/resolv.conf
exec /run/start-resolved
STANDIN

cat >"$work/inside.sh" <<'INSIDE'
set -eu
work=$1 tool=$2 resolved=$3
fail() { echo "FAIL: $*"; [ -f "$work/resolved.log" ] && cat "$work/resolved.log"; exit 1; }
expect() { [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"; }
mount -t tmpfs tmpfs /run
for d in etc var/lib; do
  n=${d//\//_}; mkdir -p "$work/ov/$n-u" "$work/ov/$n-w"
  mount -t overlay overlay -o "lowerdir=/$d,upperdir=$work/ov/$n-u,workdir=$work/ov/$n-w" "/$d"
  [ "$(findmnt -n -o FSTYPE "/$d")" = overlay ] || fail "/$d is no overlay"
done
ip link set lo up

# resolv.conf of its own.
rm -f /etc/resolv.conf
printf 'search example.org\nnameserver 203.0.113.7\n' > /etc/resolv.conf
"$tool" dns 192.0.2.53 2001:db8::53 || fail "dns on resolv.conf of its own"
expect "resolv.conf" "$(cat /etc/resolv.conf)" "$(printf 'search example.org\nnameserver 192.0.2.53\nnameserver 2001:db8::53')"
expect "dns" "$("$tool" dns)" "$(printf 'nameserver 192.0.2.53\nnameserver 2001:db8::53\nowner: file\nsource: /etc/resolv.conf')"
echo "ok: resolv.conf of its own"

[ -n "$resolved" ] || exit 0
echo "systemd-resolve:x:990:990::/:/usr/sbin/nologin" >> /etc/passwd
echo "systemd-resolve:x:990:" >> /etc/group
printf '[Resolve]\nDNS=203.0.113.7\n' > /etc/systemd/resolved.conf
rm -rf /etc/systemd/resolved.conf.d
rm /etc/resolv.conf
ln -s ../run/systemd/resolve/stub-resolv.conf /etc/resolv.conf
printf '#!/bin/sh\nmkdir -p /run/systemd/resolve; chown 990:990 /run/systemd/resolve\nSYSTEMD_LOG_TARGET=console %s >>%s 2>&1 &\necho $! > /run/resolved.pid\nfor i in $(seq 50); do [ -s /run/systemd/resolve/resolv.conf ] && exit 0; sleep 0.1; done\nexit 1\n' \
  "$resolved" "$work/resolved.log" > /run/start-resolved
chmod 755 /run/start-resolved "$work/systemctl"
mount --bind "$work/systemctl" /usr/bin/systemctl
/run/start-resolved || fail "systemd-resolved did not start"
upstream() { grep '^nameserver' /run/systemd/resolve/resolv.conf | cut -d' ' -f2 | tr '\n' ' '; }
expect "resolved before" "$(upstream)" "203.0.113.7 "

# The drop-in directory is made by the tool: whatever the umask, resolved,
# which drops root, reads it.
(umask 077 && "$tool" dns 192.0.2.53 2001:db8::53) || fail "dns under systemd-resolved"
expect "systemctl" "$(cat /run/systemctl.log)" "systemctl try-reload-or-restart systemd-resolved.service"
expect "resolved after" "$(upstream)" "192.0.2.53 2001:db8::53 "
expect "dns" "$("$tool" dns)" "$(printf 'nameserver 192.0.2.53\nnameserver 2001:db8::53\nowner: systemd-resolved\nsource: /etc/systemd/resolved.conf.d/90-kesp.conf')"
"$tool" dns --clear || fail "dns --clear under systemd-resolved"
expect "resolved cleared" "$(upstream)" ""
echo "ok: systemd-resolved"
INSIDE

unshare --net --mount --pid --fork --mount-proc --propagation private \
  bash "$work/inside.sh" "$work" "$tool" "$resolved"
