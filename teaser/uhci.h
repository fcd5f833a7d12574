// UHCI host controllers, driven without interrupts: a frame list whose
// every frame visits one queue per endpoint read and one for control
// transfers, polled for finished descriptors.
#pragma once
#include <stdint.h>

// Takes the controller at PCI function `bdf` from the firmware, resets and
// starts it, and adds it to the device layer's controllers.
void uhci_add(uint32_t bdf);
