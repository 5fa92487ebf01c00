#!/usr/bin/env bash
# Finds out whether this machine can execute 32-bit x86 programs by running one: a 96-byte ELF file that
# only exits with status 42. Kernels built or booted without 32-bit emulation refuse it ("Exec format error"),
# whatever uname or the installed packages say.
#
# Exit 0 when it can; 1 when the kernel refuses the program as a format it cannot execute, with the reason in one
# line on standard output; 2 when the test itself went wrong (say a folder programs may not run from), which is a
# fault to report, never a reason to skip anything.
# COPPERTROWEL_NO_32BIT=1 answers "cannot" without trying, so that path can be exercised on any machine.
set -uo pipefail

if [ "${COPPERTROWEL_NO_32BIT:-0}" = 1 ]; then
    echo "32-bit programs treated as unable to run (COPPERTROWEL_NO_32BIT=1)"
    exit 1
fi

if ! probe=$(mktemp 2>&1); then
    echo "could not find out whether 32-bit programs run: $probe"
    exit 2
fi
trap 'rm -f "$probe"' EXIT
# ELF header, one loadable segment at 0x08048000, then: mov eax, 1; mov ebx, 42; int 0x80 (exit(42)).
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >>"$probe"
printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$probe"
printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$probe"
printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >>"$probe"
chmod +x "$probe"

error=$("$probe" 2>&1)
status=$?
if [ $status -eq 42 ]; then
    exit 0
fi
# The shell's complaint ends with the kernel's reason, e.g. "cannot execute binary file: Exec format error".
if [[ "$error" == *"Exec format error"* ]]; then
    echo "this machine cannot execute 32-bit x86 programs (running one gave: Exec format error)"
    exit 1
fi
echo "could not find out whether 32-bit programs run: the test program gave status $status: $error"
exit 2
