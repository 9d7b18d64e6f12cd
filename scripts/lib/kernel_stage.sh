# The VM of the kernel stage (scripts/kernel-test), sourced by it.

# The guest's modules, in an order that loads: virtio and 9p for the shared
# root, overlay for its writable layer, then the input drivers.
KERNEL_MODULES="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache \
9pnet 9pnet_virtio 9p overlay evdev joydev uinput"
# Longest the whole guest run may take before it counts as hung.
KERNEL_STAGE_LIMIT=600

# kernel_fetch CACHE: Debian's current kernel package (the one
# linux-image-amd64 depends on), downloaded once and unpacked in part:
# the kernel and the modules above. Sets KERNEL_IMAGE and KERNEL_MODULE_DIR.
kernel_fetch() {
  package=$(apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1)
  [ -n "$package" ] || { echo "apt-cache names no kernel behind linux-image-amd64" >&2; return 1; }
  dir="$1/$package"
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    (cd "$1" && ls "$package"_*.deb >/dev/null 2>&1 || apt-get download -qq "$package") || return 1
    patterns="./boot/vmlinuz-*"
    for m in $KERNEL_MODULES; do patterns="$patterns */$m.ko"; done
    # shellcheck disable=SC2086 # the patterns are words for tar
    dpkg-deb --fsys-tarfile "$1/$package"_*.deb | tar -x -C "$dir" --wildcards $patterns || return 1
    touch "$dir/.unpacked"
  fi
  KERNEL_IMAGE=$(ls "$dir"/boot/vmlinuz-* | head -n 1)
  KERNEL_MODULE_DIR="$dir/lib/modules"
}

# make_initramfs CACHE OUTPUT ROOT BUILDS: busybox, the modules and the guest's
# /init, which runs scripts/lib/kernel_guest.sh of ROOT on the shared root.
make_initramfs() {
  tree="$1/initramfs"
  rm -rf "$tree" && mkdir -p "$tree/bin" "$tree/modules"
  cp /bin/busybox "$tree/bin/busybox"
  for m in $KERNEL_MODULES; do
    file=$(find "$KERNEL_MODULE_DIR" -name "$m.ko" | head -n 1)
    [ -n "$file" ] || { echo "module $m.ko is not in the kernel package" >&2; return 1; }
    cp "$file" "$tree/modules/"
  done
  sed -e "s|@MODULES@|$KERNEL_MODULES|" -e "s|@ROOT@|$3|" -e "s|@BUILDS@|$4|" \
    "$3/scripts/lib/kernel_init.sh" >"$tree/init"
  chmod 755 "$tree/init"
  (cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1) >"$2"
}

# run_guest ACCEL INITRD MODE [SECONDS]: boots the VM; MODE "run" runs the
# tests, "probe" only reaches the ready line.
run_guest() {
  smp=$(nproc)
  [ "$smp" -gt 2 ] && smp=2
  timeout -k 10 "${4:-$KERNEL_STAGE_LIMIT}" qemu-system-x86_64 -accel "$1" -cpu max -smp "$smp" -m 2048 \
    -nographic -no-reboot -nic none -kernel "$KERNEL_IMAGE" -initrd "$2" \
    -append "console=ttyS0 quiet panic=-1 kelvo.mode=$3" \
    -fsdev local,id=hr,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=hr,mount_tag=hostroot </dev/null
}

# kvm_probe INITRD: KVM is used only where it boots: at startup the kernel
# has been seen to hang under KVM on these machines.
kvm_probe() {
  [ -c /dev/kvm ] && [ -w /dev/kvm ] || return 1
  run_guest kvm "$1" probe 30 2>&1 | tr -d '\r' | grep -q '^kelvo-guest: ready$'
}
