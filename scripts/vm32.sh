#!/usr/bin/env bash
# Runs a command where 32-bit x86 programs run, on a kernel that runs none:
# inside QEMU's full-system emulator (software only), with Debian's own
# kernel, over this machine's root file system shared by 9p. The command
# sees the same files, Wine, compilers and build tree; it starts in the
# current folder. Its output is shown as it comes; the script ends with the
# command's status.
#
# Two things cannot live on 9p: Wine's server socket and the X server's. The
# guest therefore gets its own TMPDIR (where Wine keeps its server folder) and
# its own /tmp/.X11-unix, both on tmpfs; the rest of /tmp stays shared.
# Named pipes, immutable files and Wine prefixes go on /run/disk, an ext4
# file system in the guest's memory.
#
# usage: vm32.sh COMMAND [ARGS...]
# env:   SCENREG_VM32_TIMEOUT (seconds, default 3600), SCENREG_VM32_MEM (MiB,
#        default 6144). WINEDEBUG, WINEPREFIX, WINEARCH, CI and every
#        SCENREG_ variable but the loader probe's pass into the guest.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
cache="$scripts/../build/vm32"
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1) || true
if [ -z "$kernel" ] || ! command -v qemu-system-x86_64 >/dev/null || [ ! -x /bin/busybox ]; then
  echo "vm32.sh: the emulator needs qemu-system-x86, linux-image-amd64 and busybox-static" \
    "(scripts/install-deps.sh installs them)" >&2
  exit 2
fi
kver=${kernel#/boot/vmlinuz-}

# A small initramfs: busybox and the modules for a 9p root over virtio. It
# mounts the machine's root, then runs the job in it with chroot.
initrd="$cache/initrd-$kver.gz"
if [ ! -s "$initrd" ]; then
  root=$(mktemp -d)
  mkdir -p "$root/bin" "$root/mnt" "$root/proc" "$root/lib/modules"
  cp /bin/busybox "$root/bin/"
  names=""
  for m in drivers/virtio/virtio_ring drivers/virtio/virtio drivers/virtio/virtio_pci_modern_dev \
           drivers/virtio/virtio_pci_legacy_dev drivers/virtio/virtio_pci fs/netfs/netfs \
           fs/fscache/fscache net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p; do
    f=/lib/modules/$kver/kernel/$m.ko
    if [ -f "$f" ]; then cp "$f" "$root/lib/modules/"
    elif [ -f "$f.xz" ]; then xz -dc "$f.xz" >"$root/lib/modules/$(basename "$m").ko"
    else continue  # built into the kernel
    fi
    names="$names $(basename "$m")"
  done
  cat >"$root/init" <<INIT
#!/bin/busybox sh
B=/bin/busybox
\$B mount -t proc proc /proc
for m in $names; do \$B insmod /lib/modules/\$m.ko 2>/dev/null; done
\$B mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288,cache=loose host /mnt || echo "vm32: no 9p root"
\$B mount -t proc proc /mnt/proc
\$B mount -t sysfs sys /mnt/sys
\$B mount -t devtmpfs dev /mnt/dev
\$B mkdir -p /mnt/dev/pts /mnt/dev/shm /mnt/tmp/.X11-unix
\$B mount -t devpts devpts /mnt/dev/pts
\$B mount -t tmpfs shm /mnt/dev/shm
\$B mount -t tmpfs run /mnt/run
\$B mount -t tmpfs x11 /mnt/tmp/.X11-unix
JOB=\$(\$B sed -n 's/.*vm32job=\([^ ]*\).*/\1/p' /proc/cmdline)
\$B chroot /mnt /bin/bash "\$JOB"
\$B poweroff -f
INIT
  chmod +x "$root/init"
  (cd "$root" && find . | cpio -o -H newc 2>/dev/null | gzip) >"$initrd.part"
  mv "$initrd.part" "$initrd"
  rm -rf "$root"
fi

job="$cache/job.$$.sh"
out="$cache/out.$$"
{
  echo '#!/bin/bash'
  printf 'export PATH=%q HOME=%q LANG=C.UTF-8 TMPDIR=/run/tmp\n' "$PATH" "${HOME:-/root}"
  echo 'mkdir -p /run/tmp'
  # The guest's own disk, in its memory: an ext4 file system at /run/disk.
  # Not a bare tmpfs, which on this kernel keeps no user extended attributes,
  # where Wine keeps the files' DOS attributes.
  echo 'modprobe -q loop; modprobe -q ext4; mkdir -p /run/ram /run/disk'
  echo 'mount -t tmpfs -o size=3g ram /run/ram && truncate -s 3g /run/ram/disk.img &&'
  echo '  mkfs.ext4 -q -F /run/ram/disk.img && mount -o loop,discard /run/ram/disk.img /run/disk ||'
  echo '  echo "vm32: no disk in memory at /run/disk" >&2'
  for v in WINEDEBUG WINEPREFIX WINEARCH CI $(compgen -e | grep '^SCENREG_' | grep -v '^SCENREG_WINE'); do
    [ -n "${!v:-}" ] && printf 'export %s=%q\n' "$v" "${!v}"
  done
  printf 'cd %q || exit 97\n' "$PWD"
  printf '%q ' "$@"; printf '>%q 2>&1 </dev/null\n' "$out"
  printf 'echo "vm32-status=$?" >>%q\n' "$out"
  echo 'sync'
} >"$job"
: >"$out"
tail -n +1 -f "$out" 2>/dev/null | grep --line-buffered -v '^vm32-status=' &
shower=$!
timeout "${SCENREG_VM32_TIMEOUT:-3600}" qemu-system-x86_64 -accel tcg,thread=multi \
  -cpu max,-smap,-smep -smp "$(nproc)" -m "${SCENREG_VM32_MEM:-6144}" -nographic -no-reboot \
  -kernel "$kernel" -initrd "$initrd" \
  -virtfs local,path=/,mount_tag=host,security_model=passthrough,id=host,multidevs=remap \
  -append "console=ttyS0 quiet panic=-1 vm32job=$job" >"$cache/console.log" 2>&1 || true
sleep 1
kill "$shower" 2>/dev/null || true
wait "$shower" 2>/dev/null || true
rm -f "$job"
status=$(sed -n 's/^vm32-status=//p' "$out" | tail -n 1)
rm -f "$out"
if [ -z "$status" ]; then
  tail -n 5 "$cache/console.log" >&2
  echo "vm32.sh: the command did not finish in the emulator" >&2
  exit 3
fi
exit "$status"
