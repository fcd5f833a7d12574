// The probe draws from its framebuffer tag and keeps no framebuffer record,
// but the shared test framebuffer (support/fbmem) fills the teaser's record
// when it maps itself. The probe's test binary supplies that record here.
#include "../../teaser/draw.h"

uint64_t FB_ADDR;
uint32_t FB_W;
uint32_t FB_H;
uint32_t FB_P;
uint8_t FB_BPP;

void draw_reset_clip() {}
