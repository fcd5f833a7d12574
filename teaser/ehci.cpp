#include "ehci.h"
#include "../boot/hw.h"
#include "paging.h"
#include "pci.h"

// Capability registers, from the BAR; operational ones from CAPLENGTH on.
enum : uint32_t { HCCPARAMS = 0x08 };
enum : uint32_t { USBCMD = 0x00, USBSTS = 0x04, USBINTR = 0x08, CONFIGFLAG = 0x40 };
enum : uint32_t { CMD_RUN = 1, CMD_RESET = 2, STS_HALTED = 0x1000 };
// The legacy-support capability in configuration space: the firmware's
// and the system's semaphores, and the SMI enables after it.
enum : uint32_t { LEGSUP_ID = 1, LEGSUP_BIOS = 1u << 16, LEGSUP_OS = 1u << 24 };
constexpr uint32_t LEGCTL_CLEAR = 0xE0000000;  // the status bits, written back to clear; every SMI off

constexpr uint64_t EHCI_REGS = 0x100;  // the capability and operational registers used
// Register handshakes are bounded by reads, not timed.
constexpr uint32_t EHCI_POLLS = 200000;

void ehci_release(uint32_t bdf)
{
    const uint32_t bar = pci_read32(bdf, PCI_BAR0);
    if (bar & 1) return;
    const uint64_t phys = (bar & ~0xFull) | ((bar & 6) == 4 ? uint64_t(pci_read32(bdf, PCI_BAR0 + 4)) << 32 : 0);
    // Above 4 GiB, or where the framebuffer's window lies, through paging.
    const uintptr_t base = phys ? paging_reach(phys, EHCI_REGS) : 0;
    if (base == 0) return;
    pci_enable(bdf, PCI_MEMORY);

    const uint32_t eecp = mmio_read32(base + HCCPARAMS) >> 8 & 0xFF;
    if (eecp >= 0x40 && (pci_read32(bdf, uint8_t(eecp)) & 0xFF) == LEGSUP_ID) {
        pci_write32(bdf, uint8_t(eecp), pci_read32(bdf, uint8_t(eecp)) | LEGSUP_OS);
        for (uint32_t i = 0; i < EHCI_POLLS && (pci_read32(bdf, uint8_t(eecp)) & LEGSUP_BIOS); ++i) {}
        pci_write32(bdf, uint8_t(eecp + 4), LEGCTL_CLEAR);
    }

    const uintptr_t op = base + (mmio_read32(base) & 0xFF);
    mmio_write32(op + USBINTR, 0);
    mmio_write32(op + USBCMD, mmio_read32(op + USBCMD) & ~CMD_RUN);
    for (uint32_t i = 0; i < EHCI_POLLS && !(mmio_read32(op + USBSTS) & STS_HALTED); ++i) {}
    mmio_write32(op + USBCMD, CMD_RESET);
    for (uint32_t i = 0; i < EHCI_POLLS && (mmio_read32(op + USBCMD) & CMD_RESET); ++i) {}
    // Reset leaves it clear already: every port belongs to a companion.
    mmio_write32(op + CONFIGFLAG, 0);
}
