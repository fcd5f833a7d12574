# Attach to QEMU's gdb stub (make debug) with the teaser's symbols; make gdb
# sets $gdb_port and $gdb_host first. For the probe: file build/fbprobe-kernel.elf
set confirm off
set architecture i386
file build/teaser-kernel.elf
if $_isvoid($gdb_port)
  set $gdb_port = 1234
end
if $_isvoid($gdb_host)
  set $gdb_host = "127.0.0.1"
end
eval "target remote %s:%d", $gdb_host, $gdb_port
break kernel_main
echo \nBreakpoint set on kernel_main; 'continue' boots through GRUB to it.\n
