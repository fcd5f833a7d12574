// EHCI controllers are not driven: each is taken from the firmware and
// reset, which gives every port to its UHCI companions.
#pragma once
#include <stdint.h>

void ehci_release(uint32_t bdf);
