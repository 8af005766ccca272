#!/bin/bash
# The Debian package's life under a real systemd (tests/systemd/ns_systemd.sh, with /etc, /usr and
# /var as private overlays, so dpkg and adduser change nothing of this machine): dpkg -i, -install,
# the service running as the package's user and forwarding from a dialout device; beside it two
# instances of the template unit, each with its own device, settings and log, one stopped while
# the other goes on; dpkg -i of a higher revision restarts all three on the new program; dpkg -r
# leaves no unit, no instance enabled and nothing running; the purge keeps the instances' settings.
# (Where each file goes and the user are scripts/test-package's.) Exit 77: cannot run here (the
# reason is printed).
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
ETC=/etc/vemo-brennicot
LOGDIR=/var/log/vemo-brennicot
UNIT=Vemo_Brennicot.service
INSTANCES="door alarm"

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
main_pid() { prop MainPID "${1:-vemo-brennicot}"; }
program_running() { X pgrep -f "^$PROGRAM" >/dev/null; }
runs_as_user() { [ "$(X stat -c %U /proc/"$(main_pid "$1")")" = $USER_NAME ]; }

# A build machine may forbid maintainer scripts to start services (policy-rc.d); a real one does not.
X rm -f /usr/sbin/policy-rc.d

# ---- the scenery: a collector, and a device per forwarder as serial adapters are (root:dialout,
# 0660), each sending "line N" every 250 ms. Each forwarder's messages carry its name as ID.
steps_collector
adapter() { echo "/dev/serial/by-id/usb-Vemo_Test_Adapter_$1-if00-port0"; }
plug() {  # plug NAME
  local device
  device=$(adapter "$1")
  X mkdir -p "$(dirname "$device")"
  X systemd-run $quiet --unit="device-$1" socat \
    "pty,raw,echo=0,link=$device,group-late=dialout,perm-late=0660" "pty,raw,echo=0,link=$W/peer-$1"
  X systemd-run $quiet --unit="feeder-$1" sh -c \
    "n=0; while :; do n=\$((n+1)); [ -L $W/peer-$1 ] && printf 'line %d\r\n' \$n > $W/peer-$1; sleep 0.25; done"
  within 5 X test -e "$device" || fail "socat made no device $device"
}
settings() {  # settings NAME: forwards the adapter NAME with ID NAME
  printf '[Ports]\r\nCOM1=%s\r\n[Vemo_Brennicot]\r\ncommport=1\r\nflowcontrol=0\r\nudptarget=127.0.0.1\r\nudpport=5514\r\nmsgformat=1\r\nVemoBrennicotID=%s\r\nEnableStatusTimer=0\r\n' \
    "$(adapter "$1")" "$1"
}
from_after() { received_after "$2" | grep "VemoBrennicotID=$1 line"; }  # from_after NAME TIME
got_from_after() { [ -n "$(from_after "$1" "$2")" ]; }
for name in A1 $INSTANCES; do plug $name; done

# ---- dpkg -i: the note on what to do next
out=$(X dpkg -i "$DEB1" 2>&1)
if [ $? = 0 ] && grep -q -- "-install" <<<"$out" && grep -q "vemo-brennicot@" <<<"$out"; then
  pass "dpkg -i: note: $(grep -m1 -- -install <<<"$out"); $(grep -m1 -- "enable --now" <<<"$out")"
else fail "dpkg -i: $out"; finish; fi

# ---- -install from the packaged program, started by its alias
settings A1 | X sh -c "cat > $ETC/Vemo_Brennicot.ini"
out=$(X Vemo_Brennicot -install 2>/dev/null)
t=$(date +%s.%N)
if [ "$out" = "Vemo_Brennicot: Vemo Brennicot install was successful" ] \
  && X systemctl start vemo-brennicot && [ "$(prop Id vemo-brennicot)" = $UNIT ] \
  && runs_as_user vemo-brennicot && within 5 got_from_after A1 "$t"; then
  pass "-install: vemo-brennicot is $UNIT, runs as $USER_NAME, forwarded '$(from_after A1 "$t" | head -1 | cut -d' ' -f2-)'"
else fail "-install: '$out'; $(X systemctl status --no-pager vemo-brennicot 2>&1 | tail -5)"; fi
if X grep -q "Startup commport:1" $LOGDIR/Vemo_Brennicot.log; then
  pass "the service writes its Activity log"
else fail "no start-up line in the Activity log"; fi

# ---- -check as the service user (its group opens the device) and as one without that group
out=$(X runuser -u $USER_NAME -- Vemo_Brennicot -check)
rc=$?
denied=$(X runuser -u nobody -- Vemo_Brennicot -check | grep "^COM1: ")
if [ $rc = 0 ] && [ "$(tail -1 <<<"$out")" = "check passed: a start uses $PROGRAM.ini as written" ] \
  && [ "$denied" = "COM1: $(adapter A1): Permission denied for user nobody" ]; then
  pass "-check: passes as $USER_NAME; as nobody: '$denied'"
else fail "-check: rc=$rc '$out'; as nobody: '$denied'"; fi

# ---- a registration from another settings file, never started: the removal must find it too
printf '[Vemo_Brennicot]\r\nservicename=Vemo Spare\r\n' | X sh -c "cat > $ETC/spare.ini"
X Vemo_Brennicot -settings $ETC/spare.ini -install >/dev/null 2>&1 \
  || fail "-settings $ETC/spare.ini -install: $(X Vemo_Brennicot -settings $ETC/spare.ini -install 2>&1)"
# Settings kept where the package keeps its own: the log goes where the package keeps its own too,
# and the unit may write there.
if X test -f $LOGDIR/spare.log && ! X test -e $ETC/spare.log \
  && X grep -q "^ReadWritePaths=.*$LOGDIR" /etc/systemd/system/Vemo_Spare.service; then
  pass "-settings $ETC/spare.ini -install: its log in $LOGDIR, which its unit may write"
else fail "spare: $(X ls $ETC $LOGDIR | tr '\n' ' '); $(X grep ReadWritePaths /etc/systemd/system/Vemo_Spare.service)"; fi

# ---- instances: a settings file each, then one command each
for name in $INSTANCES; do settings $name | X sh -c "cat > $ETC/$name.ini"; done
t=$(date +%s.%N)
for name in $INSTANCES; do
  unit=vemo-brennicot@$name.service
  out=$(X systemctl enable --now $unit 2>&1)
  if [ "$(X systemctl is-enabled $unit)" = enabled ] && runs_as_user $unit && within 5 got_from_after $name "$t" \
    && X grep -q "Startup commport:1" $LOGDIR/$name.log \
    && X journalctl -u $unit --no-pager | grep -q "Startup commport:1"; then
    pass "$unit: enabled, runs as $USER_NAME, forwarded '$(from_after $name "$t" | head -1 | cut -d' ' -f2-)', logs to $LOGDIR/$name.log and to its journal"
  else fail "$unit: $out; $(X systemctl status --no-pager $unit 2>&1 | tail -5)"; fi
done
out=$(X systemctl start vemo-brennicot@nothing 2>&1)
if [ $? != 0 ] && [ "$(prop AssertResult vemo-brennicot@nothing)" = no ]; then
  pass "an instance without its settings file does not start: $out"
else fail "vemo-brennicot@nothing: $(prop ActiveState vemo-brennicot@nothing); $out"; fi

# ---- one instance stopped while the other goes on; logrotate takes both logs
X systemctl stop vemo-brennicot@alarm
t=$(date +%s.%N)
sleep 2
if ! got_from_after alarm "$(awk -v t="$t" 'BEGIN{printf "%.3f", t + 0.5}')" && got_from_after door "$t" \
  && [ "$(prop ActiveState vemo-brennicot@door)" = active ]; then
  pass "vemo-brennicot@alarm stopped: nothing from it; vemo-brennicot@door forwards on"
else fail "stop one instance: alarm $(prop ActiveState vemo-brennicot@alarm), door $(prop ActiveState vemo-brennicot@door)"; fi
X logrotate -f -s "$W/logrotate.state" /etc/logrotate.d/vemo-brennicot
X systemctl start vemo-brennicot@alarm
owners=$(X stat -c %U:%G $LOGDIR $LOGDIR/door.log $LOGDIR/alarm.log.1 | sort -u)
if X test -f $LOGDIR/alarm.log.1 && X test -f $LOGDIR/door.log.1 && within 5 X grep -q "Startup commport:1" $LOGDIR/alarm.log \
  && [ "$owners" = $USER_NAME:adm ]; then
  pass "logrotate: alarm.log and door.log rotated; the restarted instance writes a new alarm.log; all $owners"
else fail "logrotate: $(X ls -l $LOGDIR | tr '\n' ' ')"; fi

# ---- upgrade to a higher revision: every running service is restarted on the new program
declare -A old_pid
for unit in vemo-brennicot $(for n in $INSTANCES; do echo vemo-brennicot@$n; done); do old_pid[$unit]=$(main_pid $unit); done
out=$(X dpkg -i "$DEB2" 2>&1)
t=$(date +%s.%N)
if [ "$(X dpkg-query -W -f '${Version}' vemo-brennicot)" = 1.3-2 ]; then
  pass "upgrade to 1.3-2"
else fail "upgrade: $out"; fi
for unit in "${!old_pid[@]}"; do
  name=${unit#vemo-brennicot@}
  [ "$unit" = vemo-brennicot ] && name=A1
  new_pid=$(main_pid $unit)
  exe=$(X readlink /proc/"$new_pid"/exe)
  if [ "$new_pid" != "${old_pid[$unit]}" ] && [ "$new_pid" != 0 ] && [ "$exe" = $PROGRAM ] \
    && within 5 got_from_after $name "$t"; then
    pass "upgrade: $unit pid ${old_pid[$unit]} -> $new_pid runs the new $exe and forwards"
  else fail "upgrade: $unit pid ${old_pid[$unit]} -> $new_pid, exe '$exe'"; fi
done

# ---- dpkg -r: every service is stopped and unregistered or disabled before the program goes
out=$(X dpkg -r vemo-brennicot 2>&1)
if [ $? = 0 ] && ! X test -e /etc/systemd/system/$UNIT && ! X test -e /etc/systemd/system/vemo-brennicot.service \
  && [ "$(prop LoadState $UNIT)" = not-found ] && [ -z "$(X find /etc/systemd/system -xtype l)" ] \
  && [ -z "$(X find /etc/systemd/system -name 'vemo-brennicot@*')" ] && ! X test -e /etc/systemd/system/Vemo_Spare.service \
  && [ "$(prop LoadState vemo-brennicot@door)" = not-found ] \
  && ! program_running && X test -f $ETC/Vemo_Brennicot.ini && X test -f $ETC/door.ini; then
  pass "dpkg -r: no unit (nor the one from spare.ini), no link, no instance enabled, nothing running; settings kept"
else fail "dpkg -r: LoadState=$(prop LoadState $UNIT); $(X pgrep -af "^$PROGRAM"); $out"; fi

# ---- dpkg --purge: the package's files go, the instances' settings stay, and it says so
out=$(X dpkg --purge vemo-brennicot 2>&1)
if [ $? = 0 ] && X test -f $ETC/door.ini && X test -f $ETC/alarm.ini && ! X test -e $ETC/Vemo_Brennicot.ini \
  && ! X test -e $LOGDIR && ! X test -e /var/lib/vemo-brennicot \
  && grep -qx "vemo-brennicot: purge kept the settings of instances in $ETC: alarm.ini door.ini spare.ini" <<<"$out"; then
  pass "dpkg --purge: $(grep "kept" <<<"$out")"
else fail "dpkg --purge: $(X ls -A $ETC $LOGDIR /var/lib/vemo-brennicot 2>&1 | tr '\n' ' '); $out"; fi
