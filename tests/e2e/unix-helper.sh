#!/bin/sh
# What the end-to-end tests under Wine need from the Linux side: fresh
# scratch folders, named pipes and screenshots of the virtual display.
# Usage: unix-helper.sh DONE_MARKER COMMAND ARGUMENT
# Wine starts Linux programs without a handle to wait on, so the outcome
# (the command's status) is written to DONE_MARKER, atomically, at the end.
marker=$1
command=$2
argument=$3
case $command in
  fresh) rm -rf "$argument" && mkdir -p "$argument" ;;
  mkfifo) mkfifo "$argument" ;;
  screenshot)
    import -window root -display "$DISPLAY" "$argument.part.png" &&
      mv "$argument.part.png" "$argument" ;;
  *) false ;;
esac
status=$?
echo "$status" >"$marker.part" && mv "$marker.part" "$marker"
