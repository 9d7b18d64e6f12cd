#!/bin/busybox sh
# shellcheck shell=dash disable=SC2043 # @MODULES@ is filled in before use
# The kernel stage guest's /init (scripts/kernel-test fills in the @NAMES@):
# loads the modules, mounts the host's / read-only over 9p under a writable
# overlay kept in memory, and runs the tests there as root. Its last line is
# the tests' exit status: qemu's own does not carry it.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc 2>/dev/null || { mkdir -p /proc && mount -t proc proc /proc; }
mkdir -p /sys /dev /host /rw /new
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in @MODULES@; do
  insmod "/modules/$m.ko" || echo "kelvo-guest: insmod $m failed"
done
echo "kelvo-guest: ready"
finish() {
  echo "kelvo-guest-exit: $1"
  sync
  poweroff -f
}
grep -q 'kelvo.mode=probe' /proc/cmdline && finish 0

echo "kelvo-guest: start"
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144,cache=loose hostroot /host || finish 90
mount -t tmpfs -o size=1g tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work overlay /new || finish 91
for d in proc sys dev tmp run; do mkdir -p "/new/$d"; done
mount -t proc proc /new/proc
mount -t sysfs sysfs /new/sys
mount -t devtmpfs devtmpfs /new/dev
# /tmp stays the overlay's, writable in memory: the tree and its builds may
# lie below the host's /tmp (a CI clone), which a tmpfs would hide.
mount -t tmpfs tmpfs /new/run
mkdir -p /new/dev/pts /new/dev/shm
mount -t devpts devpts /new/dev/pts
mount -t tmpfs tmpfs /new/dev/shm
chroot /new /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp \
  /bin/sh "@ROOT@/scripts/lib/kernel_guest.sh" @BUILDS@
finish $?
