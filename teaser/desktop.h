// The desktop: three icons driven by keys and the mouse.
#pragma once

// Runs the desktop until ESC, then draws the splash and returns.
void desktop_run();
