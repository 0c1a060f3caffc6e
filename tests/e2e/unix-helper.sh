#!/bin/sh
# What the end-to-end tests under Wine need from the Linux side: fresh
# scratch folders, named pipes, screenshots of the virtual display, and
# runs killed at an exact point of a write.
# Usage: unix-helper.sh DONE_MARKER COMMAND ARGUMENT
# Wine starts Linux programs without a handle to wait on, so the outcome
# (the command's status) is written to DONE_MARKER, atomically, at the end.
. "$(dirname "$0")/../../scripts/wine-loader.sh"
marker=$1
command=$2
argument=$3
case $command in
  fresh)
    # A folder left by an interrupted fault test may still be immutable or
    # hold a mounted file system.
    if [ -d "$argument" ]; then
      chattr -R -i "$argument" 2>/dev/null
      grep -o " $argument/[^ ]*" /proc/mounts | xargs -r -n1 umount 2>/dev/null
    fi
    rm -rf "$argument" && mkdir -p "$argument" ;;
  immutable) chattr +i "$argument" ;;
  mutable) chattr -i "$argument" ;;
  # A file system of 64 KiB on the folder, for a full disk.
  mount-small) mount -t tmpfs -o size=64k scenreg-full "$argument" ;;
  unmount) umount "$argument" ;;
  # Fills the folder's file system: only the slack of its last pages stays.
  fill) dd if=/dev/zero of="$argument/filler" bs=1024 2>/dev/null; [ -s "$argument/filler" ] ;;
  mkfifo) mkfifo "$argument" ;;
  # Links planted in a run folder: a second name of the file (4th argument)
  # or a symbolic link to it, and away again (the link, not its file).
  link) ln "$4" "$argument" ;;
  symlink) ln -s "$4" "$argument" ;;
  unlink) rm -f "$argument" ;;
  # Every entry under the folder with its mode, link count, size and bytes'
  # digest, into the file named by the 4th argument.
  facts)
    (cd "$argument" && find . -printf '%p %y %m %n %s ' -exec sh -c \
      '[ -f "$1" ] && sha1sum <"$1" || echo' sh {} \;) | sort >"$4" ;;
  # Runs the program (4th argument) in the folder with a file size limit
  # (5th): the kernel kills it (SIGXFSZ) at the first write past the limit.
  # True only when that kill ended it, which its own build's loader reports
  # as 128 + 25.
  run-size-limited)
    loader=$(scenreg_wine_loader "$(scenreg_program_build "$4")") &&
      cd "$argument" && prlimit --fsize="$5" "$loader" "$4" >/dev/null 2>&1
    [ $? -eq 153 ] ;;
  screenshot)
    import -window root -display "$DISPLAY" "$argument.part.png" &&
      mv "$argument.part.png" "$argument" ;;
  *) false ;;
esac
status=$?
echo "$status" >"$marker.part" && mv "$marker.part" "$marker"
