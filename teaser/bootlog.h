// The timed boot log shown once after the hand-off, and the curtain that
// uncovers the splash after it.
#pragma once
#include "bootinfo.h"

void boot_log(const mb2_fb_tag* tag);
void splash_curtain();
