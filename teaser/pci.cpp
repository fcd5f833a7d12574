#include "pci.h"
#include "../boot/hw.h"
#include "ehci.h"
#include "uhci.h"
#include "xhci.h"

constexpr uint32_t PCI_CLASS_USB = 0x0C03;
constexpr int MAX_FOUND = 16;

void pci_enable(uint32_t bdf, uint32_t bits)
{
    const uint32_t cmd = pci_read32(bdf, PCI_COMMAND) & 0xFFFF;
    pci_write32(bdf, PCI_COMMAND, cmd | bits | PCI_NO_INTERRUPTS);
}

void pci_find_usb()
{
    // Mechanism 1 answers with the address written; nothing there reads all ones.
    outl(PCI_ADDRESS, 0x80000000u);
    if (inl(PCI_ADDRESS) != 0x80000000u) return;

    uint32_t found[MAX_FOUND];
    uint8_t kind[MAX_FOUND];
    int n = 0;
    for (uint32_t bus = 0; bus < 256; ++bus)
        for (uint32_t dev = 0; dev < 32; ++dev)
            for (uint32_t fn = 0; fn < 8; ++fn) {
                const uint32_t bdf = bus << 8 | dev << 3 | fn;
                if ((pci_read32(bdf, PCI_ID) & 0xFFFF) == 0xFFFF) {
                    if (fn == 0) break;
                    continue;
                }
                const uint32_t cls = pci_read32(bdf, PCI_CLASS);
                if (cls >> 16 == PCI_CLASS_USB && n < MAX_FOUND) {
                    found[n] = bdf;
                    kind[n++] = uint8_t(cls >> 8);
                }
                // Functions 1 to 7 exist only on a multi-function device.
                if (fn == 0 && !(pci_read32(bdf, PCI_HEADER) & 0x800000)) break;
            }
    for (int i = 0; i < n; ++i)
        if (kind[i] == PCI_EHCI) ehci_release(found[i]);
    for (int i = 0; i < n; ++i) {
        if (kind[i] == PCI_UHCI) uhci_add(found[i]);
        if (kind[i] == PCI_XHCI) xhci_add(found[i]);
    }
}
