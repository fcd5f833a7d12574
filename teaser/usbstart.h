// USB's start-up, shared by both kernels: the host controllers found on
// PCI and handed to their drivers, then what is on their ports.
#pragma once

// Takes every USB host controller from the firmware: EHCI controllers
// first, which give their ports to their UHCI companions, then UHCI and
// xHCI controllers. Then enumerates the devices and starts reading them.
void usb_start();
