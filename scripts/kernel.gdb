# Attach to QEMU's gdb stub (make debug) with the teaser's symbols; make gdb
# sets $gdb_port first. For the probe: file build/fbprobe-kernel.elf
set confirm off
set architecture i386
file build/teaser-kernel.elf
if $_isvoid($gdb_port)
  set $gdb_port = 1234
end
eval "target remote localhost:%d", $gdb_port
break kernel_main
echo \nBreakpoint set on kernel_main; 'continue' boots through GRUB to it.\n
