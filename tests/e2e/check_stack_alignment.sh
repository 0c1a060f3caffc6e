#!/bin/sh
# Checks a program image's machine code for stack operands that need more
# alignment than Windows gives: on 32-bit, a 16-byte SSE operand on the stack
# in a function that does not align its own frame; on 64-bit (16-byte
# aligned), any 32-byte operand on the stack, which the compiler cannot align.
# Usage: check_stack_alignment.sh OBJDUMP PROGRAM 32|64
objdump=$1
program=$2
bits=$3
"$objdump" -d --no-show-raw-insn "$program" | awk -v bits="$bits" '
  # The shipped image has no symbols: a function is taken to run from after
  # one return to the next, which is where the compiler puts prologues.
  $2 ~ /^ret/ { aligns = 0; next }
  # A frame aligned by the function itself.
  /\tand +\$0xf+[0-9a-f]0,%[er]sp/ { aligns = 1 }
  {
    mnemonic = $2
    operands = $3
    if (bits == 64) {
      if (operands ~ /%ymm/ && operands ~ /\(%r(sp|bp)/) bad[++n] = $0
      next
    }
    # Legacy SSE instructions on a 16-byte memory operand fault unless it is
    # aligned; the unaligned moves, scalar and element forms do not.
    if (operands !~ /%xmm/ || operands !~ /\(%e(sp|bp)/) next
    if (mnemonic ~ /^v/ && mnemonic !~ /^vmov(dqa|aps|apd|ntdq|ntps|ntpd)$/) next
    if (mnemonic ~ /^(movdqu|movups|movupd|movq|movd|movss|movsd|movlp[sd]|movhp[sd]|lddqu)$/) next
    if (mnemonic ~ /(ss|sd)$/ || mnemonic ~ /^(pinsr|pextr|pmov[sz]x|cvt)/) next
    if (!aligns) bad[++n] = $0
  }
  END {
    for (i = 1; i <= n; ++i) print "unaligned stack operand:" bad[i]
    if (n > 0) exit 1
    print "no stack operand needs more alignment than the system gives"
  }'
