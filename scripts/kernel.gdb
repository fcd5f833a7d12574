# Attach to QEMU's gdb stub (make debug) with the teaser's symbols.
# For the probe: file build/fbprobe-kernel.elf
set confirm off
set architecture i386
file build/teaser-kernel.elf
target remote localhost:1234
break kernel_main
echo \nBreakpoint set on kernel_main; 'continue' boots through GRUB to it.\n
