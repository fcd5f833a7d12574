#include "desktop.h"
#include "splash.h"

void desktop_run()
{
    draw_splash();
}
