#include "pci.h"
#include "../boot/hw.h"

void pci_enable(uint32_t bdf, uint32_t bits)
{
    const uint32_t cmd = pci_read32(bdf, PCI_COMMAND) & 0xFFFF;
    pci_write32(bdf, PCI_COMMAND, cmd | bits | PCI_NO_INTERRUPTS);
}

int pci_find(uint16_t cls, uint32_t* found, uint8_t* iface, int max)
{
    // Mechanism 1 answers with the address written; nothing there reads all ones.
    outl(PCI_ADDRESS, 0x80000000u);
    if (inl(PCI_ADDRESS) != 0x80000000u) return 0;

    int n = 0;
    for (uint32_t bus = 0; bus < 256; ++bus)
        for (uint32_t dev = 0; dev < 32; ++dev)
            for (uint32_t fn = 0; fn < 8; ++fn) {
                const uint32_t bdf = bus << 8 | dev << 3 | fn;
                if ((pci_read32(bdf, PCI_ID) & 0xFFFF) == 0xFFFF) {
                    if (fn == 0) break;
                    continue;
                }
                const uint32_t c = pci_read32(bdf, PCI_CLASS);
                if (c >> 16 == cls && n < max) {
                    found[n] = bdf;
                    iface[n++] = uint8_t(c >> 8);
                }
                // Functions 1 to 7 exist only on a multi-function device.
                if (fn == 0 && !(pci_read32(bdf, PCI_HEADER) & 0x800000)) break;
            }
    return n;
}
