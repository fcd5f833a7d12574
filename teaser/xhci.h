// xHCI host controllers, driven without interrupts.
#pragma once
#include <stdint.h>

// Takes the controller at PCI function `bdf` from the firmware, resets it
// and adds it to the device layer's controllers.
void xhci_add(uint32_t bdf);

// A transfer request block, as the controller reads and writes it.
struct alignas(16) xhci_trb {
    volatile uint32_t lo, hi, status, control;
};

// A ring the kernel fills: `n` TRBs at `base` (physical `phys`), the last
// a link back to the first; the producer's cycle bit flips at each lap.
struct xhci_ring {
    xhci_trb* base;
    uint32_t phys;
    uint8_t n, enq, cycle;
};

// Starts `r` empty over n TRBs at base, physical phys.
void xhci_ring_init(xhci_ring& r, xhci_trb* base, uint32_t phys, uint8_t n);

// Writes one TRB at the enqueue point, its cycle bit last, and follows the
// link at the ring's end; the physical address of the TRB written.
uint32_t xhci_put(xhci_ring& r, uint32_t lo, uint32_t hi, uint32_t status, uint32_t control);

// Where in the ring a pointer the controller reported lies: a TRB's index,
// or -1 when it is not one of the ring's TRBs.
int xhci_ring_index(const xhci_ring& r, uint64_t ptr);

// An event, decoded.
struct xhci_event {
    uint8_t type, code, slot, dci;
    uint32_t residual;  // bytes of a transfer not done
    uint64_t ptr;       // the TRB it reports on
};
xhci_event xhci_decode(const xhci_trb& e);

// An interrupt endpoint's service interval as the endpoint context wants
// it, 2^n x 125 us, from the descriptor's bInterval at the device's speed.
uint8_t xhci_interval(uint8_t speed, uint8_t interval);
