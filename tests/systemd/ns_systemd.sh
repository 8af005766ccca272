#!/bin/bash
# A real systemd for tests: the machine's own systemd as PID 1 of private pid, mount, uts, ipc, net
# and cgroup namespaces (plain unshare, no image, no network). Source it, then
#   ns_why_not [packages]
#                       prints why it cannot run here and fails (not root, no cgroup2, ...)
#   ns_boot WORKDIR [packages]
#                       boots it; WORKDIR stays writable inside, the rest of / is read-only. With
#                       "packages", /etc, /usr and /var are writable overlays (tmpfs upper layers)
#                       for dpkg -i, adduser and the package's files, a real journald runs,
#                       and systemd also reads the units packages install in /lib/systemd/system
#   X CMD...            runs a command inside (nsenter)
#   ns_teardown         powers it off and checks that no process, mount or cgroup is left and
#                       that the machine's /etc/systemd is unchanged; fails otherwise
# Inside: private /dev (own devpts), /run, /tmp, /var/tmp, /opt and /etc/systemd/system (tmpfs),
# a loopback-only network, stub targets, no journald, and no unit of the machine.
NS_SELF=$(readlink -f "${BASH_SOURCE[0]}")
NS_SYSTEMD=/lib/systemd/systemd

if [ "${1:-}" = __stage1 ]; then
  # PID 1 of the new pid namespace, still in the machine's cgroup namespace: move into the test's
  # cgroup, then make a cgroup namespace rooted there (systemd sees it as "/").
  echo 0 >"$3/cgroup.procs" || exit 101
  exec unshare --cgroup -- "$NS_SELF" __stage2 "$2" "${4:-}"
fi
if [ "${1:-}" = __stage2 ]; then
  set -e
  W=$2
  MODE=$3
  CONS=$(tty) # the pty of script(1): systemd insists that /dev/console is a terminal
  mount --bind "$W" "$W"
  if [ "$MODE" = packages ]; then
    # Everything dpkg and adduser write lands in these layers and goes with the namespaces.
    mkdir -p "$W/overlay"
    mount -t tmpfs -o mode=755,size=2g tmpfs "$W/overlay"
    for d in etc usr var; do
      mkdir -p "$W/overlay/$d.up" "$W/overlay/$d.work"
      mount -t overlay overlay -o "lowerdir=/$d,upperdir=$W/overlay/$d.up,workdir=$W/overlay/$d.work" "/$d"
    done
  fi
  umount -R /sys/fs/cgroup
  mount -t cgroup2 cgroup2 /sys/fs/cgroup
  mount -o remount,bind,ro /sys
  mount -t tmpfs -o mode=755 tmpfs /run
  touch /run/console && mount --bind "$CONS" /run/console
  mount -t tmpfs -o mode=755,nosuid tmpfs /dev
  for n in "null 1 3" "zero 1 5" "full 1 7" "random 1 8" "urandom 1 9" "tty 5 0"; do
    set -- $n
    mknod -m 666 "/dev/$1" c "$2" "$3"
  done
  [ "$MODE" = packages ] && mknod -m 600 /dev/kmsg c 1 11 # journald reads it
  mkdir /dev/pts /dev/shm
  mount -t devpts -o newinstance,ptmxmode=0666,mode=620,gid=5 devpts /dev/pts
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /dev/shm
  ln -s pts/ptmx /dev/ptmx
  ln -s /proc/self/fd /dev/fd
  ln -s /proc/self/fd/0 /dev/stdin
  ln -s /proc/self/fd/1 /dev/stdout
  ln -s /proc/self/fd/2 /dev/stderr
  touch /dev/console && mount --bind /run/console /dev/console && umount /run/console && rm /run/console
  for p in /proc/sys /proc/sysrq-trigger; do # kernel-wide knobs stay untouched
    [ -e "$p" ] || continue
    mount --bind "$p" "$p"
    mount -o remount,bind,ro "$p"
  done
  # Where services keep temporary files (PrivateTmp=) and where users install the program.
  # A work directory below one of them is carried over.
  mkdir /run/work && mount --bind "$W" /run/work
  for d in /tmp /var/tmp; do mount -t tmpfs -o mode=1777 tmpfs "$d"; done
  mount -t tmpfs -o mode=755 tmpfs /opt
  if [ ! -d "$W" ]; then mkdir -p "$W" && mount --bind /run/work "$W"; fi
  umount /run/work && rmdir /run/work
  # The only unit directory systemd reads here.
  mount -t tmpfs -o mode=755 tmpfs /etc/systemd/system
  U=/etc/systemd/system
  for t in rst sysinit basic multi-user network-online; do
    printf '[Unit]\nDescription=stub %s\n' "$t" >"$U/$t.target"
  done
  printf '[Unit]\nDescription=stub shutdown\nDefaultDependencies=no\nRefuseManualStart=yes\n' >$U/shutdown.target
  printf '[Unit]\nDescription=System Slice\nDefaultDependencies=no\n' >$U/system.slice
  if [ "$MODE" = packages ]; then
    printf '[Unit]\nDescription=stub sockets\n' >"$U/sockets.target"
    cp /lib/systemd/system/systemd-journald.socket /lib/systemd/system/systemd-journald-dev-log.socket $U/
    sed -e 's/^Sockets=.*/Sockets=systemd-journald.socket systemd-journald-dev-log.socket/' \
      /lib/systemd/system/systemd-journald.service >$U/systemd-journald.service
    printf '[Unit]\nDescription=stub rst\nWants=systemd-journald.socket systemd-journald-dev-log.socket systemd-journald.service\n' >"$U/rst.target"
    # Units a package ships (a template such as name@.service) go to the vendor directory: it is
    # read too, emptied first, so only what dpkg installs there is seen, never the machine's units.
    VENDOR=$(readlink -f /lib/systemd/system)
    mount -t tmpfs -o mode=755 tmpfs "$VENDOR"
    U=$U:$VENDOR
  fi
  mount -o remount,bind,ro /
  exec env -i container=brennicot-test PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=vt220 \
    SYSTEMD_UNIT_PATH=$U SYSTEMD_GENERATOR_PATH=/run/none SYSTEMD_ENVIRONMENT_GENERATOR_PATH=/run/none \
    setpriv --bounding-set -sys_module,-sys_time,-sys_rawio \
    "$NS_SYSTEMD" --unit=rst.target --show-status=no --log-level=info
fi

# A pure cgroup2 machine, or a hybrid one with an empty cgroup2 beside the v1 controllers.
NS_CGBASE=
if [ "$(stat -fc %T /sys/fs/cgroup 2>/dev/null)" = cgroup2fs ]; then
  NS_CGBASE=/sys/fs/cgroup
elif [ "$(stat -fc %T /sys/fs/cgroup/unified 2>/dev/null)" = cgroup2fs ]; then
  NS_CGBASE=/sys/fs/cgroup/unified
fi
NS_PID=

ns_why_not() {
  [ "$(id -u)" = 0 ] || { echo "needs root (private namespaces and cgroups)"; return 0; }
  [ -x "$NS_SYSTEMD" ] || { echo "no systemd at $NS_SYSTEMD"; return 0; }
  local c
  for c in unshare nsenter script setpriv timeout; do
    command -v $c >/dev/null || { echo "$c is not installed"; return 0; }
  done
  [ -n "$NS_CGBASE" ] || { echo "no cgroup2 hierarchy mounted"; return 0; }
  if [ "${1:-}" = packages ]; then
    for c in dpkg cpack; do
      command -v $c >/dev/null || { echo "$c is not installed"; return 0; }
    done
  fi
  if ! unshare --pid --fork --mount --uts --ipc --net --cgroup true 2>/dev/null; then
    echo "cannot make private namespaces here"
    return 0
  fi
  return 1
}

X() { timeout 120 nsenter -t "$NS_PID" -m -p -u -i -n -C -- "$@"; }

ns_snapshot() {
  {
    find /etc/systemd -printf '%p %T@ %s\n' | sort
    md5sum /var/lib/dpkg/status /etc/passwd /etc/group
    sysctl -n fs.file-max fs.nr_open kernel.core_pattern
    hostname
  } | md5sum
}
# Network namespaces that tests running beside this one make (ip netns add) are mounted under
# /run/netns: they are theirs, not this test's.
ns_mounts() { awk '$5 !~ "^/run/netns(/|$)" {print $5, $9}' /proc/self/mountinfo | sort; }

ns_boot() {
  NS_WORK=$1
  local mode=${2:-}
  NS_CG=$NS_CGBASE/brennicot-test.$$.${RANDOM}
  NS_PID=
  NS_PIDNS=
  NS_MOUNTS_BEFORE=$(ns_mounts)
  NS_SNAP_BEFORE=$(ns_snapshot)
  mkdir "$NS_CG" || return 1
  setpriv --pdeathsig KILL script -qfec "exec setpriv --pdeathsig KILL unshare --pid --fork --kill-child --mount --mount-proc --uts --ipc --net -- $NS_SELF __stage1 $NS_WORK $NS_CG $mode" \
    "$NS_WORK/console.log" </dev/null >/dev/null 2>"$NS_WORK/launcher.err" &
  NS_LAUNCHER=$!
  local i st=
  for i in $(seq 200); do
    NS_PID=$(head -1 "$NS_CG/init.scope/cgroup.procs" 2>/dev/null)
    [ -n "$NS_PID" ] && break
    kill -0 "$NS_LAUNCHER" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$NS_PID" ] || {
    echo "systemd did not start: $(cat "$NS_WORK/launcher.err")"
    return 1
  }
  NS_PIDNS=$(readlink /proc/$NS_PID/ns/pid)
  for i in $(seq 200); do
    st=$(X systemctl is-system-running 2>/dev/null)
    case "$st" in running | degraded) return 0 ;; esac
    sleep 0.1
  done
  echo "systemd did not come up: $st ($(X systemctl --failed --no-legend 2>&1 | tr '\n' ' '))"
  return 1
}

ns_teardown() {
  local ok=0 i
  if [ -n "${NS_PID:-}" ] && kill -0 "$NS_PID" 2>/dev/null; then
    kill -s RTMIN+14 "$NS_PID" # immediate power-off: in a container systemd just exits
    for i in $(seq 100); do
      kill -0 "$NS_PID" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$NS_PID" 2>/dev/null; then
      echo "systemd did not power off; killing its cgroup"
      ok=1
      if [ -e "$NS_CG/cgroup.kill" ]; then echo 1 >"$NS_CG/cgroup.kill"; else kill -KILL "$NS_PID"; fi
    fi
  fi
  [ -n "${NS_LAUNCHER:-}" ] && wait "$NS_LAUNCHER" 2>/dev/null
  if [ -d "${NS_CG:-}" ]; then
    for i in $(seq 50); do
      [ -z "$(cat "$NS_CG/cgroup.procs" 2>/dev/null)" ] && break
      sleep 0.1
    done
    find "$NS_CG" -depth -type d -exec rmdir {} \; 2>/dev/null
    [ -d "$NS_CG" ] && { echo "cgroup $NS_CG left behind"; ok=1; }
  fi
  if [ -n "${NS_PIDNS:-}" ]; then
    for i in /proc/[0-9]*; do
      [ "$(readlink "$i/ns/pid" 2>/dev/null)" = "$NS_PIDNS" ] && { echo "process ${i#/proc/} left behind"; ok=1; }
    done
  fi
  [ -z "${NS_MOUNTS_BEFORE:-}" ] || [ "$(ns_mounts)" = "$NS_MOUNTS_BEFORE" ] || { echo "the machine's mount table changed"; ok=1; }
  [ -z "${NS_SNAP_BEFORE:-}" ] || [ "$(ns_snapshot)" = "$NS_SNAP_BEFORE" ] || { echo "the machine's /etc/systemd, sysctls or host name changed"; ok=1; }
  NS_PID=
  return $ok
}
