// xHCI host controllers, driven without interrupts.
#pragma once
#include <stdint.h>

// Takes the controller at PCI function `bdf` from the firmware, resets it
// and adds it to the device layer's controllers.
void xhci_add(uint32_t bdf);
