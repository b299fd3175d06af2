#!/bin/sh
# Run once, on the emulated machine's first boot (scripts/test-win32.sh makes the disk):
# finishes the Debian system that debootstrap unpacked (its second stage configures every
# package, wine among them), makes the wine prefix the tests will use, gives the disk's
# unused blocks back to the image file, and powers off. The last line it prints tells the
# host that the machine is ready.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mountpoint -q /proc || mount -t proc proc /proc

if [ -d /debootstrap ] && ! /debootstrap/debootstrap --second-stage; then
  echo "ydr-guest: the second stage failed"
  tail -n 40 /debootstrap/debootstrap.log 2>/dev/null
  echo o >/proc/sysrq-trigger
  sleep 60
fi
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
# No network but the loopback one: names resolve from the hosts file alone, at once.
printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >/etc/hosts
: >/etc/resolv.conf
apt-get clean
rm -rf /var/lib/apt/lists/* /usr/share/doc/* /usr/share/man/* /usr/share/locale/*

export WINEPREFIX=/var/lib/ydr-wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
unset DISPLAY
echo "ydr-guest: making the wine prefix"
if wine wineboot --init && wineserver -w && [ -f "$WINEPREFIX/system.reg" ]; then
  echo "wine $(wine --version 2>/dev/null), $(uname -r)" >/ydr/ready
fi
fstrim / || true
# Read-only before the power goes, nothing else left running: the journal then holds
# nothing the image lacks.
kill -9 -1 2>/dev/null
sleep 1
sync
if ! mount -o remount,ro /; then
  echo u >/proc/sysrq-trigger
  sleep 2
fi
if [ -f /ydr/ready ]; then
  echo "ydr-guest: ready ($(cat /ydr/ready))"
else
  echo "ydr-guest: the wine prefix could not be made"
fi
echo o >/proc/sysrq-trigger
sleep 60
