#!/bin/busybox sh
# The emulated 32-bit machine's first program, from its early file system: loads the modules
# that reach its disk and the shared folders, mounts the disk as the root and starts the
# program that the kernel command line names (ydr.run=). With ydr.work=FOLDER, the host's
# worktree is mounted read-only at the same path (the build's paths hold there unchanged),
# and the results folder at /ydr-out.
/bin/busybox mkdir -p /proc /sys /dev /root
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

for module in $(cat /modules/order); do
  insmod "/modules/$module.ko" || echo "init: module $module not loaded"
done

ip link set lo up  # the tests' servers listen on 127.0.0.1

run=
work=
for word in $(cat /proc/cmdline); do
  case $word in
    ydr.run=*) run=${word#ydr.run=} ;;
    ydr.work=*) work=${word#ydr.work=} ;;
  esac
done

tries=0
while [ ! -b /dev/vda ] && [ $tries -lt 100 ]; do
  sleep 0.1
  tries=$((tries + 1))
done
if ! mount -t ext4 /dev/vda /root; then
  echo "init: the disk cannot be mounted"
  exec sh
fi
if [ -n "$work" ]; then
  mkdir -p "/root$work" /root/ydr-out
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288,cache=loose,ro work "/root$work" ||
    echo "init: the worktree cannot be mounted"
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 out /root/ydr-out ||
    echo "init: the results folder cannot be mounted"
fi
for fs in proc sys dev; do
  mount --move "/$fs" "/root/$fs"
done
exec switch_root /root "${run:-/bin/sh}"
