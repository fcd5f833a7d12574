#!/usr/bin/env python3
"""Builds a boot image that starts one kernel straight away, in the mode asked for.

    mkiso.py --kernel build/teaser-kernel.elf --out x.iso [--gfxpayload 800x600x32] [--uefi]
"""
import argparse
import os
import shutil
import subprocess
import tempfile

GRUB_CFG = """set timeout=0
set default=0
if [ "$grub_platform" = "efi" ]; then insmod efi_gop; fi
menuentry "kernel" {{
    multiboot2 /boot/kernel.elf
{payload}    boot
}}
"""


def make_iso(kernel, out, gfxpayload=None, uefi=False):
    """Writes `out`; gfxpayload must come after the multiboot2 line to count."""
    payload = f"    set gfxpayload={gfxpayload}\n" if gfxpayload else ""
    with tempfile.TemporaryDirectory() as tmp:
        os.makedirs(os.path.join(tmp, "boot", "grub"))
        shutil.copy(kernel, os.path.join(tmp, "boot", "kernel.elf"))
        with open(os.path.join(tmp, "boot", "grub", "grub.cfg"), "w") as f:
            f.write(GRUB_CFG.format(payload=payload))
        cmd = ["grub-mkrescue", "-o", out, tmp]
        if not uefi:
            cmd[1:1] = ["-d", "/usr/lib/grub/i386-pc"]
        subprocess.run(cmd, check=True, capture_output=True)
    return out


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--kernel", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--gfxpayload")
    ap.add_argument("--uefi", action="store_true")
    a = ap.parse_args()
    make_iso(a.kernel, a.out, a.gfxpayload, a.uefi)
