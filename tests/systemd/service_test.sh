#!/bin/bash
# The forwarder as users run it, under a real systemd (tests/systemd/ns_systemd.sh): installed in
# /opt/vemo-brennicot, its device under /dev/serial/by-id, registered with -install. Checks the
# start, a device lost and found again, a restart, the watchdog, the status line, the journal
# stream, the stop and -uninstall. Exit 77: cannot run here (the reason is printed).
#   service_test.sh EXECUTABLE [WORKDIR_PARENT]
set -u
EXE=$(readlink -f "$1")
PARENT=${2:-$PWD}
HERE=$(dirname "$(readlink -f "$0")")
source "$HERE/ns_systemd.sh"
source "$HERE/steps.sh"

steps_can_run

steps_begin "$PARENT" systemd-test
# Inside, /tmp and /opt are private: only the work directory is reachable, so the program travels
# through it (a checkout under /tmp, as a CI clone may be, would be out of sight).
cp "$EXE" "$W/Vemo_Brennicot"
UNIT=Vemo_Brennicot.service
DIR=/opt/vemo-brennicot
DEVICE=/dev/serial/by-id/usb-Vemo_Test_Adapter_A1-if00-port0

prop() { X systemctl show -P "$1" $UNIT; }
is_state() { [ "$(prop ActiveState)/$(prop SubState)" = "$1" ]; }
log_text() { X cat $DIR/Vemo_Brennicot.log | tr -d '\r'; }

if ! ns_boot "$W"; then fail "boot"; exit 1; fi
say "systemd $(X systemctl --version | head -1 | cut -d' ' -f2) is PID 1 of the namespaces (pid $NS_PID)"

# ---- the scenery: a journal stand-in, a collector, a device that sends a line every 250 ms
X mkdir -p /run/systemd/journal "$(dirname $DEVICE)"
cat >"$W/journal.py" <<'PY'
import os, socket, socketserver, sys
class Stream(socketserver.StreamRequestHandler):
    def handle(self):
        with open(sys.argv[1], "ab") as f:
            for chunk in iter(lambda: self.request.recv(65536), b""):
                f.write(chunk); f.flush()
socketserver.ThreadingUnixStreamServer("/run/systemd/journal/stdout", Stream).serve_forever()
PY
X systemd-run $quiet --unit=journal python3 "$W/journal.py" "$W/journal"
steps_collector
plugs=0
plug() {
  plugs=$((plugs + 1))
  X systemd-run $quiet --unit=device$plugs socat pty,raw,echo=0,link=$DEVICE pty,raw,echo=0,link=$W/peer
  X systemd-run $quiet --unit=feeder$plugs sh -c \
    "n=0; while :; do n=\$((n+1)); [ -L $W/peer ] && printf 'line %d\r\n' \$n > $W/peer; sleep 0.25; done"
  within 5 X test -e $DEVICE
}
unplug() { X systemctl stop feeder$plugs device$plugs; }
within 5 X test -S /run/systemd/journal/stdout || fail "journal stand-in did not start"
plug || fail "socat made no device"

# ---- install where users install it
X mkdir -p $DIR
X cp "$W/Vemo_Brennicot" $DIR/Vemo_Brennicot
printf '[Ports]\r\nCOM1=%s\r\n[Vemo_Brennicot]\r\ncommport=1\r\nflowcontrol=0\r\nudptarget=127.0.0.1\r\nudpport=5514\r\nmsgformat=3\r\nEnableStatusTimer=0\r\n' \
  "$DEVICE" | X sh -c "cat > $DIR/Vemo_Brennicot.ini"
out=$(X $DIR/Vemo_Brennicot -install)
if [ "$out" = "Vemo_Brennicot: Vemo Brennicot install was successful" ] && [ "$(prop LoadState)" = loaded ] \
  && [ "$(X systemctl is-enabled $UNIT)" = enabled ]; then
  pass "-install: unit loaded (daemon-reload) and enabled"
else fail "-install: '$out', LoadState=$(prop LoadState)"; finish; fi  # nothing else can hold

# LeakSanitizer cannot work inside the unit's sandbox and would turn every clean exit of a
# sanitizer build into status 1; the address and undefined-behaviour checks stay on.
X mkdir -p /etc/systemd/system/$UNIT.d
printf '[Service]\nEnvironment=ASAN_OPTIONS=detect_leaks=0\n' |
  X sh -c "cat > /etc/systemd/system/$UNIT.d/sanitizer.conf"
X systemctl daemon-reload

# ---- start: active only once READY=1 came, which follows the start-up line
t=$(date +%s.%N)
if X systemctl start $UNIT && is_state active/running && log_text | grep -q 'Startup commport:1' \
  && [ "$(prop ActiveEnterTimestampMonotonic)" -gt "$(prop ExecMainStartTimestampMonotonic)" ] \
  && within 3 got_line_after "$t"; then
  pass "start: active (running) after READY=1; forwarded '$(received_after "$t" | head -1 | cut -d' ' -f2-)'"
else fail "start: $(prop ActiveState)/$(prop SubState); $(log_text | tail -3)"; fi

# ---- status line and journal
status_re="^COM1 \($DEVICE\) 9600,N,8,1 -> 127\.0\.0\.1:5514; [0-9,]+ lines? forwarded, last [0-9]+ s ago$"
if within 3 eval '[[ "$(prop StatusText)" =~ $status_re ]]'; then
  pass "status: $(prop StatusText)"
else fail "status: '$(prop StatusText)'"; fi
if grep -aq "^<6>\*\*\* Brennicot 1.3 Startup commport:1 " "$W/journal" \
  && ! grep -aq "^<6>20[0-9][0-9]/" "$W/journal"; then
  pass "journal: entries with their priority and without time stamp"
else fail "journal: $(tr -d '\0' <"$W/journal" 2>/dev/null | tail -3)"; fi

# ---- the device vanishes: the collector hears of it and the service fails (status 1); the
# restart then finds no device and waits for it running, instead of failing again and again
X mkdir -p /etc/systemd/system/$UNIT.d
printf '[Service]\nRestartSec=200ms\n' | X sh -c "cat > /etc/systemd/system/$UNIT.d/fast.conf"
X systemctl daemon-reload
t=$(date +%s.%N)
unplug
if within 5 eval '[ "$(prop NRestarts)" -ge 1 ]' && within 5 is_state active/running \
  && within 5 eval '[[ "$(prop StatusText)" == *"waiting for the device, missing since "* ]]'; then
  pass "device lost: restarted, running and waiting: $(prop StatusText)"
else fail "device lost: NRestarts=$(prop NRestarts), $(prop ActiveState)/$(prop SubState), '$(prop StatusText)'"; fi
received_after "$t" | grep -q ' Comm message: Device Removed$' && pass "device lost: told to the collector" \
  || fail "device lost: no 'Comm message: Device Removed' at the collector"
sleep 3
if [ "$(prop NRestarts)" = 1 ] && is_state active/running \
  && [ "$(log_text | grep -c 'missing: trying again every 30 s')" = 1 ]; then
  pass "device away: no more restarts, one line said it waits"
else fail "device away: NRestarts=$(prop NRestarts), $(prop ActiveState)/$(prop SubState); $(log_text | tail -3)"; fi
grep -aq "^<3>frmBrennicot:tmrComm err#:5:" "$W/journal" && pass "journal: the lost device as an error (<3>)" \
  || fail "journal: no <3> line for the lost device"

# ---- the device comes back: the waiting service finds it at its next try (every 30 s)
X rm /etc/systemd/system/$UNIT.d/fast.conf
X systemctl daemon-reload
t=$(date +%s.%N)
plug
if within 40 got_line_after "$t" && [ "$(prop NRestarts)" = 1 ] && log_text | grep -q 'is back after'; then
  first=$(received_after "$t" | head -1)
  replug=$(awk -v a="$t" -v b="${first%% *}" 'BEGIN{printf "%.1f", b - a}')
  pass "device back: forwarding resumed ${replug} s after the replug, without a restart"
  echo "replug-to-first-line: $replug s"
else fail "device back: nothing forwarded within 40 s; $(prop ActiveState)/$(prop SubState); $(log_text | tail -3)"; fi

# ---- restart with the same device, as after a change of settings
pid=$(prop MainPID)
t=$(date +%s.%N)
if X systemctl restart $UNIT && is_state active/running && [ "$(prop MainPID)" != "$pid" ] \
  && within 3 got_line_after "$t" && ! log_text | grep -q 'in use'; then
  pass "restart: active again (pid $pid -> $(prop MainPID)), a line forwarded"
else fail "restart: $(prop ActiveState)/$(prop SubState); $(log_text | tail -3)"; fi

# ---- watchdog: keep-alives keep it alive; a stopped process is killed and restarted
printf '[Service]\nWatchdogSec=2s\nRestartSec=2s\n' | X sh -c "cat > /etc/systemd/system/$UNIT.d/watchdog.conf"
X systemctl daemon-reload
X systemctl restart $UNIT
pid=$(prop MainPID)
w0=$(prop WatchdogTimestampMonotonic)
sleep 3
if [ "$(prop MainPID)" = "$pid" ] && [ "$(prop WatchdogTimestampMonotonic)" -gt "$w0" ]; then
  pass "watchdog: alive 3 s under WatchdogSec=2s on its keep-alives"
else fail "watchdog: pid $pid -> $(prop MainPID), Result=$(prop Result)"; fi
X kill -STOP "$pid"
if within 10 is_state activating/auto-restart && [ "$(prop Result)" = watchdog ] \
  && within 5 is_state active/running && [ "$(prop MainPID)" != "$pid" ]; then
  pass "watchdog: stopped pid $pid killed (Result=watchdog) and restarted as $(prop MainPID)"
else fail "watchdog: Result=$(prop Result), $(prop ActiveState)/$(prop SubState), NRestarts=$(prop NRestarts)"; fi
X rm /etc/systemd/system/$UNIT.d/watchdog.conf
X systemctl daemon-reload

# ---- stop: SIGTERM, exit 0, the shut-down line
X systemctl stop $UNIT
stop_rc=$?
if [ $stop_rc = 0 ] && is_state inactive/dead && [ "$(prop Result)" = success ] \
  && [ "$(prop ExecMainStatus)" = 0 ] && [[ "$(log_text | tail -1)" == *$'\t'"Brennicot Shutdown ***" ]]; then
  pass "stop: exit 0, Result=success, shut-down line logged"
else fail "stop: rc=$stop_rc $(prop ActiveState)/$(prop SubState) Result=$(prop Result) status=$(prop ExecMainStatus); $(log_text | tail -3)"; fi

# ---- -uninstall
X rm -r /etc/systemd/system/$UNIT.d
out=$(X $DIR/Vemo_Brennicot -uninstall)
if [ "$out" = "Vemo_Brennicot: Vemo Brennicot uninstall was successful" ] && ! X test -e /etc/systemd/system/$UNIT \
  && [ "$(prop LoadState)" = not-found ]; then
  pass "-uninstall: unit removed"
else fail "-uninstall: '$out', LoadState=$(prop LoadState)"; fi
