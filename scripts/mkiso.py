#!/usr/bin/env python3
"""Builds a GRUB boot image of one or more kernels, and writes its GRUB
configuration: the one place that configuration is made.

    mkiso.py --out build/orvelix.iso --timeout 3 \\
        "build/teaser-kernel.elf=ORVELIX teaser" "build/fbprobe-kernel.elf=Framebuffer probe"
    mkiso.py --kernel build/fbprobe-kernel.elf --out x.iso [--gfxpayload 800x600x32] [--uefi]

The menu image (the first form) boots under BIOS and UEFI, from a CD or as a
USB stick. Its entries boot at the mode the display chooses; a "Screen size"
submenu below them offers each kernel again at each of SCREEN_SIZES. A
one-kernel image starts its kernel at once; it is BIOS-only unless --uefi is
given.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile


# The sizes the "Screen size" submenu offers each kernel at.
SCREEN_SIZES = ("640x480", "800x600", "1024x768", "1280x720", "1280x1024", "1920x1080")


def size_modes(size):
    """GRUB tries the list in order: 32 bits per pixel at that size, then 24,
    then the display's own choice, so a display without the size still
    gets a framebuffer rather than text mode."""
    return f"{size}x32,{size}x24,auto"


def grub_cfg(entries, timeout=0, gfxpayload=None, sizes=()):
    """The configuration for menu entries [(file name in /boot, title), ...];
    the first is the default. With sizes, a "Screen size" submenu follows
    that offers every entry again at each size. gfxpayload counts only after
    the multiboot2 line. Under UEFI GRUB needs efi_gop to hand over a
    framebuffer at all."""
    def entry(name, title, payload, indent=""):
        body = [f'menuentry "{title}" {{', f"    multiboot2 /boot/{name}"]
        if payload:
            body.append(f"    set gfxpayload={payload}")
        body += ["    boot", "}"]
        return [indent + line for line in body]

    lines = [f"set timeout={timeout}", "set default=0",
             'if [ "$grub_platform" = "efi" ]; then insmod efi_gop; fi']
    for name, title in entries:
        lines += [""] + entry(name, title, gfxpayload)
    if sizes:
        lines += ["", 'submenu "Screen size" {']
        for name, title in entries:
            for size in sizes:
                lines += entry(name, f"{title} at {size}", size_modes(size), "    ")
        lines.append("}")
    return "\n".join(lines) + "\n"


def make_image(kernels, out, timeout=0, gfxpayload=None, uefi=True, sizes=()):
    """Writes `out` with kernels [(path, title), ...] in its menu, and the
    "Screen size" submenu when sizes are given. BIOS only when uefi is false
    (smaller and quicker to make)."""
    with tempfile.TemporaryDirectory() as tmp:
        os.makedirs(os.path.join(tmp, "boot", "grub"))
        entries = []
        for path, title in kernels:
            shutil.copy(path, os.path.join(tmp, "boot", os.path.basename(path)))
            entries.append((os.path.basename(path), title))
        with open(os.path.join(tmp, "boot", "grub", "grub.cfg"), "w") as f:
            f.write(grub_cfg(entries, timeout, gfxpayload, sizes))
        cmd = ["grub-mkrescue", "-o", out, tmp]
        if not uefi:
            cmd[1:1] = ["-d", "/usr/lib/grub/i386-pc"]
        done = subprocess.run(cmd, capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError(f"{' '.join(cmd)} failed:\n{done.stderr}")
    return out


def make_iso(kernel, out, gfxpayload=None, uefi=False):
    """A one-kernel image that boots straight away, in the mode asked for."""
    return make_image([(kernel, "kernel")], out, 0, gfxpayload, uefi)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--kernel", help="one kernel, booted at once")
    ap.add_argument("--gfxpayload")
    ap.add_argument("--uefi", action="store_true", help="with --kernel: BIOS and UEFI (else BIOS only)")
    ap.add_argument("--timeout", type=int, default=0, help="seconds the menu waits")
    ap.add_argument("entries", nargs="*", metavar="KERNEL=TITLE", help="menu entries, the first the default")
    a = ap.parse_args()
    try:
        if a.kernel:
            make_iso(a.kernel, a.out, a.gfxpayload, a.uefi)
        else:
            if not a.entries:
                ap.error("give --kernel or KERNEL=TITLE entries")
            make_image([e.split("=", 1) for e in a.entries], a.out, a.timeout, a.gfxpayload,
                       sizes=SCREEN_SIZES)
    except RuntimeError as e:
        sys.exit(str(e))


if __name__ == "__main__":
    main()
