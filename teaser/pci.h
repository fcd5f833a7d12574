// The PCI bus: functions found by their class, and their command register.
// Shared by both kernels.
#pragma once
#include <stdint.h>

enum pci_reg : uint8_t {
    PCI_ID = 0x00,       // vendor, device
    PCI_COMMAND = 0x04,  // command in the low half, status in the high
    PCI_CLASS = 0x08,    // class, subclass, interface, revision from the top byte down
    PCI_HEADER = 0x0C,   // header type in bits 23:16
    PCI_BAR0 = 0x10,
};

enum pci_command : uint32_t {
    PCI_IO = 1,
    PCI_MEMORY = 2,
    PCI_BUS_MASTER = 4,
    PCI_NO_INTERRUPTS = 0x400,
};

// USB host controllers by their programming interface (class 0x0C, subclass 0x03).
enum pci_usb : uint8_t { PCI_UHCI = 0x00, PCI_OHCI = 0x10, PCI_EHCI = 0x20, PCI_XHCI = 0x30 };

constexpr uint16_t PCI_CLASS_USB = 0x0C03;  // class and subclass

// Sets bits of a function's command register, interrupts off.
void pci_enable(uint32_t bdf, uint32_t bits);

// Every function of class and subclass `cls` on every bus, at most `max`:
// each one's address in bdf[] and programming interface in iface[]. Returns
// how many; none where there is no configuration mechanism 1.
int pci_find(uint16_t cls, uint32_t* bdf, uint8_t* iface, int max);
