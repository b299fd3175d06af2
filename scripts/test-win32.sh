#!/usr/bin/env bash
# Runs the 32-bit Windows suite (preset windows-i686, built beforehand) where 32-bit Windows
# code can run: under 32-bit wine in an emulated 32-bit Debian machine (qemu-system-i386,
# software emulation, one processor). Nothing 32-bit runs on this machine itself.
#
# The machine is made once and kept in build/win32-guest: debootstrap unpacks Debian (i386)
# with wine into a folder, which becomes an ext4 disk image (mke2fs -d, nothing mounted);
# the kernel is Debian's, its early file system a static busybox with the modules that reach
# the disk and the shared folders. Its first boot finishes the installation and makes the
# wine prefix. Each run then boots it with the disk's changes thrown away afterwards, the
# worktree shared read-only at its own path and a results folder (build/win32-guest/out)
# writable; scripts/win32-guest/run-tests.sh runs there every program of the build's list
# (tests/test_programs.txt). Exits non-zero when a program fails or the run does not finish.
#
# YDR_DEBIAN_MIRROR replaces the Debian mirror; YDR_WIN32_DEADLINE a program's deadline in
# seconds (default 1800); YDR_WIN32_FILTER, an extended regular expression, runs only the
# programs whose names match.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$PWD
guest=$work/build/win32-guest
build=$work/build/windows-i686
mirror=${YDR_DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=bookworm
packages=wine,wine32
# Early modules, in load order: virtio disks and ext4 for the root, 9p for the shared folders.
modules="virtio virtio_ring virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_blk crc16
         mbcache jbd2 crc32c_generic libcrc32c ext4 netfs fscache 9pnet 9pnet_virtio 9p"

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)

say() { echo "test-win32: $*" >&2; }

# The machine, one boot: kernel command-line words follow; the serial console is the output.
# No SMAP for it: under this qemu's software emulation, the iret by which wine resumes a
# thread faults in user mode when the processor offers SMAP.
boot() {
  local limit=$1
  shift
  local append="console=ttyS0 panic=-1 loglevel=4 $1"
  shift
  nice timeout --foreground -k 30 "$limit" qemu-system-i386 -accel tcg -cpu max,-smap -smp 1 -m 2048 -machine pc \
    -nodefaults -display none -no-reboot -serial stdio -monitor none \
    -kernel "$guest/vmlinuz" -initrd "$guest/initrd.img" -append "$append" "$@" </dev/null
}

# A stamp of everything the disk is made from: a change to any of it makes the disk again.
guest_stamp() {
  cat scripts/win32-guest/init.sh scripts/win32-guest/setup.sh
  echo "$suite $packages $modules"
}

# The newest package file of a package, from the package list debootstrap fetched.
package_file() {
  awk -v RS= -v name="$2" '$0 ~ "^Package: " name "\n" { print }' "$1" | sed -n 's/^Filename: //p' | head -n 1
}
package_depends() {
  awk -v RS= -v name="$2" '$0 ~ "^Package: " name "\n" { print }' "$1" | sed -n 's/^Depends: //p' | head -n 1
}

make_guest() {
  local stage=$guest/stage root=$guest/stage/root
  "${as_root[@]}" rm -rf "$stage"
  rm -f "$guest/disk.img" "$guest/ready"
  mkdir -p "$stage"
  say "unpacking Debian $suite (i386) with $packages from $mirror"
  "${as_root[@]}" debootstrap --foreign --arch=i386 --variant=minbase --include="$packages" \
    "$suite" "$root" "$mirror" >"$stage/debootstrap.log" 2>&1 ||
    { tail -n 20 "$stage/debootstrap.log" >&2; return 1; }

  # The kernel and a static busybox come from the same mirror, unpacked beside the system.
  local list kernel_package kernel_file busybox_file
  list=$(echo "$root"/var/lib/apt/lists/*_main_binary-i386_Packages)
  kernel_package=$(package_depends "$list" linux-image-686 | sed 's/ .*//')
  kernel_file=$(package_file "$list" "$kernel_package")
  busybox_file=$(package_file "$list" busybox-static)
  [[ -n $kernel_file && -n $busybox_file ]] || { say "no kernel or busybox in the package list"; return 1; }
  curl -sSfL -o "$stage/kernel.deb" "$mirror/$kernel_file"
  curl -sSfL -o "$stage/busybox.deb" "$mirror/$busybox_file"
  dpkg-deb -x "$stage/kernel.deb" "$stage/kernel"
  dpkg-deb -x "$stage/busybox.deb" "$stage/busybox"
  cp "$stage"/kernel/boot/vmlinuz-* "$guest/vmlinuz"

  local early=$stage/early version
  version=$(basename "$stage"/kernel/lib/modules/*)
  mkdir -p "$early/bin" "$early/modules"
  cp "$stage/busybox/bin/busybox" "$early/bin/busybox"
  cp scripts/win32-guest/init.sh "$early/init"
  for module in $modules; do
    find "$stage/kernel/lib/modules/$version" -name "$module.ko" -exec cp {} "$early/modules/" \;
    [[ -f $early/modules/$module.ko ]] || { say "kernel $version has no module $module"; return 1; }
    echo "$module" >>"$early/modules/order"
  done
  (cd "$early" && find . | cpio -o -H newc --quiet | gzip -9) >"$guest/initrd.img"

  # In a container, debootstrap links /proc to the host's: the machine mounts its own there.
  if [[ -L $root/proc ]]; then
    "${as_root[@]}" rm "$root/proc"
    "${as_root[@]}" mkdir -m 555 "$root/proc"
  fi
  "${as_root[@]}" install -D -m 755 scripts/win32-guest/setup.sh "$root/ydr/setup.sh"
  say "making the disk image"
  "${as_root[@]}" mke2fs -q -t ext4 -L ydr-win32 -E root_owner=0:0 -d "$root" "$guest/disk.img" 4G
  "${as_root[@]}" chown "$(id -u):$(id -g)" "$guest/disk.img"

  say "first boot: installing the system and making the wine prefix (about ten minutes)"
  boot 3600 "ydr.run=/ydr/setup.sh" -drive "file=$guest/disk.img,format=raw,if=virtio,discard=unmap" |
    tee "$guest/setup.log" || true
  grep -q '^ydr-guest: ready' "$guest/setup.log" || { say "the first boot failed (see $guest/setup.log)"; return 1; }
  "${as_root[@]}" rm -rf "$stage"
  guest_stamp | sha256sum >"$guest/ready"
}

mkdir -p "$guest"
if [[ ! -f $guest/ready || $(guest_stamp | sha256sum) != "$(cat "$guest/ready")" ]]; then
  start=$SECONDS
  make_guest
  say "machine made in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s ($(du -sh "$guest/disk.img" | cut -f1) on disk)"
fi

list=$build/tests/test_programs.txt
[[ -f $list ]] || { say "no $list: build the preset windows-i686 first"; exit 1; }
out=$guest/out
rm -rf "$out"
mkdir -p "$out"
if [[ -n ${YDR_WIN32_FILTER:-} ]]; then
  awk -F '\t' -v filter="$YDR_WIN32_FILTER" '$1 ~ filter' "$list" >"$out/plan"
else
  cp "$list" "$out/plan"
fi
echo "${YDR_WIN32_DEADLINE:-1800}" >"$out/deadline"
say "running $(wc -l <"$out/plan") test programs in the emulated machine"
start=$SECONDS
boot 7200 "ydr.run=$work/scripts/win32-guest/run-tests.sh ydr.work=$work" \
  -drive "file=$guest/disk.img,format=raw,if=virtio,snapshot=on" \
  -virtfs "local,path=$work,mount_tag=work,security_model=none,readonly=on" \
  -virtfs "local,path=$out,mount_tag=out,security_model=none" |
  tee "$out/console.log" | grep --line-buffered '^ydr-guest:\|^  |' || true
say "the machine ran $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"

python3 scripts/win32-guest/summary.py "$out"
