"""The kernel images as GRUB sees them: the Multiboot2 header byte for byte,
first in the image at 1 MiB, and the loader's own check of it."""
import struct
import subprocess
import unittest

import qemu

HEADER = bytes.fromhex(
    "d65052e8" "00000000" "30000000" "faaead17"   # magic, i386, length 48, checksum
    "0500" "0000" "14000000"                     # framebuffer request, required, 20 bytes
    "00000000" "00000000" "20000000"             # any width and height, 32 bits per pixel
    "90909090"                                   # filler to the next 8-byte boundary
    "0000" "0000" "08000000")                    # end tag


def header_bytes(elf):
    with open(elf, "rb") as f:
        data = f.read()
    assert data[:4] == b"\x7fELF" and data[4] == 1, "not a 32-bit ELF"
    phoff, = struct.unpack_from("<I", data, 28)
    phentsize, phnum = struct.unpack_from("<HH", data, 42)
    first = None
    for i in range(phnum):
        p_type, p_offset, _, p_paddr, p_filesz = struct.unpack_from("<IIIII", data, phoff + i * phentsize)
        if p_type == 1 and p_filesz and (first is None or p_paddr < first[0]):
            first = (p_paddr, p_offset)
    return first[0], data[first[1]:first[1] + 48]


class Header(unittest.TestCase):
    def test_both_kernels_carry_the_header_first_at_one_mib(self):
        for elf in (qemu.TEASER, qemu.PROBE):
            with self.subTest(elf=elf):
                addr, head = header_bytes(elf)
                self.assertEqual(addr, 0x100000)
                self.assertEqual(head, HEADER)
                self.assertEqual(sum(struct.unpack_from("<4I", head)) % 2**32, 0)
                self.assertEqual(subprocess.run(["grub-file", "--is-x86-multiboot2", elf]).returncode, 0)


if __name__ == "__main__":
    unittest.main()
