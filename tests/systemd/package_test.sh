#!/bin/bash
# The Debian package's life under a real systemd (tests/systemd/ns_systemd.sh, with /etc, /usr and
# /var as private overlays, so dpkg and adduser change nothing of this machine): dpkg -i, -install,
# the service running as the package's user and forwarding from a dialout device; dpkg -i of a
# higher revision restarts it on the new program; dpkg -r leaves no unit and nothing running.
# (Where each file goes, the user and purging are scripts/test-package's.) Exit 77: cannot run
# here (the reason is printed).
#   package_test.sh CPACK_CONFIG [WORKDIR_PARENT]
set -u
CONFIG=$(readlink -f "$1")
PARENT=${2:-$PWD}
HERE=$(dirname "$(readlink -f "$0")")
source "$HERE/ns_systemd.sh"
source "$HERE/steps.sh"

steps_can_run packages

steps_begin "$PARENT" package-test
USER_NAME=vemo-brennicot
PROGRAM=/usr/lib/vemo-brennicot/Vemo_Brennicot
UNIT=Vemo_Brennicot.service
DEVICE=/dev/serial/by-id/usb-Vemo_Test_Adapter_A1-if00-port0

# ---- two packages of the program under test, the second one revision higher
for rev in 1 2; do
  if ! cpack -G DEB --config "$CONFIG" -B "$W/rev$rev" -D CPACK_DEBIAN_PACKAGE_RELEASE=$rev \
    >"$W/cpack$rev.log" 2>&1; then
    fail "cpack: $(tail -3 "$W/cpack$rev.log")"; exit 1
  fi
done
DEB1=$(ls "$W"/rev1/*.deb) DEB2=$(ls "$W"/rev2/*.deb)

if ! ns_boot "$W" packages; then fail "boot"; exit 1; fi
say "systemd $(X systemctl --version | head -1 | cut -d' ' -f2) is PID 1 of the namespaces (pid $NS_PID)"

prop() { X systemctl show -P "$1" "$2"; }
main_pid() { prop MainPID vemo-brennicot; }
program_running() { X pgrep -f "^$PROGRAM" >/dev/null; }

# A build machine may forbid maintainer scripts to start services (policy-rc.d); a real one does not.
X rm -f /usr/sbin/policy-rc.d

# ---- the scenery: a collector, and a device as a serial adapter is (root:dialout, 0660)
X mkdir -p "$(dirname $DEVICE)"
steps_collector
X systemd-run $quiet --unit=device socat pty,raw,echo=0,link=$DEVICE,group-late=dialout,perm-late=0660 \
  pty,raw,echo=0,link=$W/peer
X systemd-run $quiet --unit=feeder sh -c \
  "n=0; while :; do n=\$((n+1)); [ -L $W/peer ] && printf 'line %d\r\n' \$n > $W/peer; sleep 0.25; done"
within 5 X test -e $DEVICE || fail "socat made no device"

# ---- dpkg -i: the note on what to do next
out=$(X dpkg -i "$DEB1" 2>&1)
if [ $? = 0 ] && grep -q -- "-install" <<<"$out"; then
  pass "dpkg -i: note: $(grep -m1 -- -install <<<"$out")"
else fail "dpkg -i: $out"; finish; fi

# ---- -install from the packaged program, started by its alias
printf '[Ports]\r\nCOM1=%s\r\n[Vemo_Brennicot]\r\ncommport=1\r\nflowcontrol=0\r\nudptarget=127.0.0.1\r\nudpport=5514\r\nmsgformat=3\r\nEnableStatusTimer=0\r\n' \
  "$DEVICE" | X sh -c "cat > /etc/vemo-brennicot/Vemo_Brennicot.ini"
out=$(X Vemo_Brennicot -install)
t=$(date +%s.%N)
if [ "$out" = "Vemo_Brennicot: Vemo Brennicot install was successful" ] \
  && X systemctl start vemo-brennicot && [ "$(prop Id vemo-brennicot)" = $UNIT ] \
  && [ "$(X stat -c %U /proc/"$(main_pid)")" = $USER_NAME ] && within 5 got_line_after "$t"; then
  pass "-install: vemo-brennicot is $UNIT, runs as $USER_NAME, forwarded '$(received_after "$t" | head -1 | cut -d' ' -f2-)'"
else fail "-install: '$out'; $(X systemctl status --no-pager vemo-brennicot 2>&1 | tail -5)"; fi
if X grep -q "Startup commport:1" /var/log/vemo-brennicot/Vemo_Brennicot.log; then
  pass "the service writes its Activity log"
else fail "no start-up line in the Activity log"; fi

# ---- -check as the service user (its group opens the device) and as one without that group
out=$(X runuser -u $USER_NAME -- Vemo_Brennicot -check)
rc=$?
denied=$(X runuser -u nobody -- Vemo_Brennicot -check | grep "^COM1: ")
if [ $rc = 0 ] && [ "$(tail -1 <<<"$out")" = "check passed: a start uses $PROGRAM.ini as written" ] \
  && [ "$denied" = "COM1: $DEVICE: Permission denied for user nobody" ]; then
  pass "-check: passes as $USER_NAME; as nobody: '$denied'"
else fail "-check: rc=$rc '$out'; as nobody: '$denied'"; fi

# ---- upgrade to a higher revision: the running service is restarted on the new program
old_pid=$(main_pid)
out=$(X dpkg -i "$DEB2" 2>&1)
t=$(date +%s.%N)
new_pid=$(main_pid)
exe=$(X readlink /proc/"$new_pid"/exe)
if [ "$(X dpkg-query -W -f '${Version}' vemo-brennicot)" = 1.3-2 ] && [ "$new_pid" != "$old_pid" ] \
  && [ "$new_pid" != 0 ] && [ "$exe" = $PROGRAM ] && within 5 got_line_after "$t"; then
  pass "upgrade to 1.3-2: pid $old_pid -> $new_pid runs the new $exe and forwards"
else fail "upgrade: pid $old_pid -> $new_pid, exe '$exe'; $out"; fi

# ---- dpkg -r: the service is stopped and unregistered before the program goes
out=$(X dpkg -r vemo-brennicot 2>&1)
if [ $? = 0 ] && ! X test -e /etc/systemd/system/$UNIT && ! X test -e /etc/systemd/system/vemo-brennicot.service \
  && [ "$(prop LoadState $UNIT)" = not-found ] && [ -z "$(X find /etc/systemd/system -xtype l)" ] \
  && ! program_running && X test -f /etc/vemo-brennicot/Vemo_Brennicot.ini; then
  pass "dpkg -r: no unit, no link, nothing running; settings kept"
else fail "dpkg -r: LoadState=$(prop LoadState $UNIT); $out"; fi
