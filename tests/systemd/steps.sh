#!/bin/bash
# What the tests under a real systemd share (source it after ns_systemd.sh): a work directory,
# timed PASS/FAIL lines, the end that tears the namespaces down, waiting for a condition, and a
# collector inside that writes "<seconds since the epoch> <payload>" per datagram on 5514.
#   steps_can_run [packages] exits 77 with the reason where the test cannot run here
#   steps_begin PARENT NAME   makes W under PARENT, sets RC and the traps that call finish, and
#                             $quiet: systemd-run options that send a service's output to W
#   say / pass / fail TEXT    a line with the time since the start; fail also sets RC=1
#   finish                    tears down, keeps W when something failed, exits with RC
#   within SECONDS COMMAND... until it succeeds, at most that long
#   steps_collector           starts the collector (after ns_boot); received_after TIME
#                             prints what came after TIME, got_line_after TIME says whether any did
steps_can_run() {
  local why c
  if why=$(ns_why_not "$@"); then echo "SKIPPED: $why"; exit 77; fi
  for c in socat python3; do
    command -v $c >/dev/null || { echo "SKIPPED: $c is not installed"; exit 77; }
  done
}
steps_begin() {
  mkdir -p "$1"
  W=$(mktemp -d "$1/$2.XXXXXX")
  RC=0
  T0=$(date +%s.%N)
  quiet="-q -p StandardOutput=null -p StandardError=append:$W/scenery.err"
  trap finish EXIT
  trap 'RC=1; finish' INT TERM
}
say() { printf '%6.1fs %s\n' "$(awk "BEGIN{print $(date +%s.%N) - $T0}")" "$*"; }
pass() { say "PASS $*"; }
fail() { say "FAIL $*"; RC=1; }
finish() {
  trap - EXIT INT TERM
  [ $RC = 0 ] || X journalctl --no-pager -n 30 >"$W/journal.txt" 2>&1
  if ns_teardown; then pass "teardown: no process, mount or cgroup left; /etc/systemd, dpkg status and users untouched"
  else fail "teardown"; fi
  if [ $RC = 0 ]; then rm -rf "$W"; else say "kept $W"; fi
  exit $RC
}
within() {
  local limit=$(($(date +%s%N) + ${1%.*} * 1000000000)); shift
  until "$@"; do
    [ "$(date +%s%N)" -lt $limit ] || return 1
    sleep 0.1
  done
}

steps_collector() {
  cat >"$W/collector.py" <<'PY'
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 5514))
with open(sys.argv[1], "a") as f:
    while True:
        data = s.recv(65536)
        f.write("%.3f %s\n" % (time.time(), data.decode("latin-1"))); f.flush()
PY
  X systemd-run $quiet --unit=collector python3 "$W/collector.py" "$W/received"
}
received_after() { awk -v t="$1" '$1 > t' "$W/received" 2>/dev/null; }
got_line_after() { [ -n "$(received_after "$1")" ]; }
