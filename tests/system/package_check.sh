#!/usr/bin/env bash
# Builds the Debian package from this build tree and checks what an appliance
# builder relies on: lintian finds no error, the package holds the programs,
# catalogues, manual pages, units, completion and settings, the tool is where
# the console's warning sends the operator, systemd accepts both units in the
# unpacked tree, and the maintainer scripts enable the units and hand tty1 over
# and back.
#   package_check.sh SOURCE_DIR BUILD_DIR SCRATCH_DIR VERSION
set -euo pipefail
source_dir=$1 build_dir=$2 scratch=$3 version=$4

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

rm -rf "$scratch"  # kept on failure
mkdir -p "$scratch"
deb=$("$source_dir/scripts/package" --build "$build_dir" --output "$scratch/out")
echo "package: $deb"

# lintian: errors fail, the rest is shown.
if ! lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1; then
  fail "lintian reports errors"
fi
cat "$scratch/lintian.log"

# The contents list.
dpkg-deb -c "$deb" | awk '{ print $6 ($7 == "->" ? " -> " $8 : "") }' | sed 's|^\./|/|' >"$scratch/contents"
expected=(
  /opt/tolvex/bin/kesp_login
  /opt/tolvex/share/kesp/kesp_config_net
  /opt/tolvex/share/kesp/kesp_login_textgen
  /opt/tolvex/share/kesp/kesp.xml
  /opt/tolvex/share/kesp/kesp_set_hostname
  "/usr/sbin/kesp_config_net -> /opt/tolvex/share/kesp/kesp_config_net"
  /usr/share/man/man8/kesp_login.8.gz
  /usr/share/man/man8/kesp_config_net.8.gz
  /usr/lib/systemd/system/kesp-login@.service
  /usr/lib/systemd/system/kesp-recover.service
  /usr/share/bash-completion/completions/kesp_config_net
  /usr/share/ansible/plugins/modules/kesp_network.py
  /usr/share/doc/kesp/copyright
)
# Every message catalogue the build compiled, whatever its domain.
while read -r catalogue; do
  expected+=("/opt/tolvex/lib/locale/${catalogue#*/locale/}")
done < <(find "$build_dir" -path '*/locale/*/LC_MESSAGES/*.mo' ! -path '*/_CPack_Packages/*')
for path in "${expected[@]}"; do
  grep -qxF -- "$path" "$scratch/contents" || fail "not in the package: $path"
done
catalogues=$(grep -c '\.mo$' "$scratch/contents" || true)
[ "$catalogues" -ge 1 ] || fail "no message catalogue in the package"

# Dependencies: those dpkg-shlibdeps found for the linked libraries, and the
# programs the library and the console run.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in libc6 iproute2 "ifupdown | network-manager | netplan.io"; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: '$depends'"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "isc-dhcp-client | dhcpcd-base" ] ||
  fail "Recommends is not the DHCP clients: '$(dpkg-deb -f "$deb" Recommends)'"
# The manual pages carry one date; no "set on a terminal" command.
dates=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO --wildcards './usr/share/man/man8/*.8.gz' |
  gunzip | sed -n 's/^\.TH [^ ]* [0-9]* "\([^"]*\)".*/\1/p' | sort -u)
[ "$(printf '%s\n' "$dates" | wc -l)" -eq 1 ] || fail "the manual pages carry different dates: $dates"

# Unpacked, the tool is at the path the console's warning prints.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
warning_path=$(grep -o '/opt/tolvex/[^ "]*kesp_config_net' "$source_dir/console/banner.cpp" | head -1)
[ -n "$warning_path" ] || fail "no tool path in the console's warning"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
[ "$("$root$warning_path" --version)" = "kesp_config_net $version" ] ||
  fail "$warning_path does not run from the package"
[ "$(readlink "$root/usr/sbin/kesp_config_net")" = "$warning_path" ] ||
  fail "/usr/sbin/kesp_config_net does not point at $warning_path"

# systemd reads the units in the unpacked tree, beside a copy of this
# machine's own units for the targets they name; ExecStart must exist there.
mkdir -p "$root/lib/systemd" "$root/bin"
cp -r /lib/systemd/system "$root/lib/systemd/"
cp /bin/sh "$root/bin/sh"  # the recovery unit's report of a timeout; essential on Debian
if ! MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" \
    kesp-recover.service kesp-login@tty1.service >"$scratch/verify.log" 2>&1; then
  cat "$scratch/verify.log" >&2
  fail "systemd-analyze verify rejects the units"
fi

# The maintainer scripts, run as dpkg runs them for an installation into
# another root (DPKG_ROOT): the real helpers change only the unpacked tree,
# which starts as a Debian system does, with a getty enabled on tty1.
dpkg-deb -e "$deb" "$scratch/control"
links=$root/etc/systemd/system
console=$links/getty.target.wants/kesp-login@tty1.service
recover=$links/sysinit.target.wants/kesp-recover.service
getty=$links/getty.target.wants/getty@tty1.service
mask=$links/kesp-recover.service
mkdir -p "$links/getty.target.wants"
ln -s /lib/systemd/system/getty@.service "$getty"
run_script() {  # SCRIPT ARGS...
  DPKG_ROOT=$root DPKG_MAINTSCRIPT_PACKAGE=kesp DPKG_MAINTSCRIPT_NAME=$1 \
    "$scratch/control/$1" "${@:2}" || fail "$* failed"
}
expect_links() {  # WHEN, then for the console, recovery, getty and mask links: 1 there, 0 not
  local when=$1 path actual=""
  for path in "$console" "$recover" "$getty" "$mask"; do
    if [ -L "$path" ]; then actual+=1; else actual+=0; fi
  done
  [ "$actual" = "$2" ] || fail "$when: links $actual, expected $2 (console recovery getty mask)"
}
settings=$root/opt/tolvex/etc/kesp/kesp.xml
run_script postinst configure
expect_links "first installation" 1100
cmp -s "$settings" "$root/opt/tolvex/share/kesp/kesp.xml" || fail "no default settings after installation"
echo '<!-- edited by the administrator -->' >>"$settings"
edited=$(cat "$settings")
run_script preinst upgrade 1.0.0
rm "$settings"  # dpkg removes the file an older package shipped there
run_script postinst configure 1.0.0
[ "$(cat "$settings" 2>/dev/null)" = "$edited" ] || fail "the settings edited before an upgrade are lost"
ln -s /lib/systemd/system/getty@.service "$getty"  # the administrator wants it back
run_script postinst configure 0.9.0
expect_links "upgrade" 1110
run_script prerm remove
run_script postrm remove
expect_links "removal" 1111
mkdir -p "$root/var/log" && echo "console output" >"$root/var/log/kesp_login.log"
run_script postrm purge
expect_links "purge" 0010
for left in "$settings" "$root/var/log/kesp_login.log"; do
  [ ! -e "$left" ] || fail "purge leaves $left"
done

if [ "$failures" -ne 0 ]; then
  echo "package check: $failures failures" >&2
  exit 1
fi
rm -rf "$scratch"  # kept on failure
echo "package check: ok (${#expected[@]} paths, $catalogues catalogues, 2 units, 7 script runs)"
