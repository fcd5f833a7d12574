#include "../teaser/bootinfo.h"

extern "C" [[noreturn]] void kernel_main(uint32_t magic, uint32_t info)
{
    (void)magic;
    (void)info;
    for (;;) {}
}
