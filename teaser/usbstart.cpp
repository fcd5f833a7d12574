#include "usbstart.h"
#include "ehci.h"
#include "pci.h"
#include "uhci.h"
#include "usb.h"
#include "xhci.h"

constexpr int MAX_FOUND = 16;

void usb_start()
{
    uint32_t bdf[MAX_FOUND];
    uint8_t iface[MAX_FOUND];
    const int n = pci_find(PCI_CLASS_USB, bdf, iface, MAX_FOUND);
    for (int i = 0; i < n; ++i)
        if (iface[i] == PCI_EHCI) ehci_release(bdf[i]);
    for (int i = 0; i < n; ++i) {
        if (iface[i] == PCI_UHCI) uhci_add(bdf[i]);
        if (iface[i] == PCI_XHCI) xhci_add(bdf[i]);
    }
    usb_enumerate();
}
