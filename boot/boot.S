/* Multiboot2 header and entry stub, shared by both kernels.
 * GRUB loads the image by its ELF program headers at 1 MiB and jumps to
 * _start in 32-bit protected mode, paging off, magic in EAX, boot
 * information address in EBX. */

        .set MB2_MAGIC,      0xE85250D6
        .set MB2_ARCH_I386,  0
        .set MB2_TAG_END,    0
        .set MB2_TAG_FB,     5
        .set STACK_SIZE,     16384

        .section .mb2header, "a"
        .balign 8
mb2_start:
        .long MB2_MAGIC
        .long MB2_ARCH_I386
        .long mb2_end - mb2_start
        .long -(MB2_MAGIC + MB2_ARCH_I386 + (mb2_end - mb2_start))
fb_tag_start:
        .short MB2_TAG_FB
        .short 0                        /* required: ask for a linear framebuffer */
        .long fb_tag_end - fb_tag_start
        .long 0                         /* width: no preference */
        .long 0                         /* height: no preference */
        .long 32                        /* depth */
fb_tag_end:
        .byte 0x90, 0x90, 0x90, 0x90    /* pad the end tag to 8 bytes */
        .short MB2_TAG_END
        .short 0
        .long 8
mb2_end:

        .section .bss
        .balign 16
stack_bottom:
        .skip STACK_SIZE
stack_top:

        .section .text
        .global _start
        .type _start, @function
_start:
        cli                             /* for good: no IDT is ever installed */
        mov $stack_top, %esp
        push %ebx                       /* boot information address */
        push %eax                       /* magic */
        call kernel_main
_start.hang:
        cli
        hlt
        jmp _start.hang

        .section .note.GNU-stack, "", @progbits
