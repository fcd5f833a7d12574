# ORVELIX preview: two freestanding Multiboot2 kernels, their boot image,
# and the host build of the same sources for tests and benchmarks.
#
#   make            both kernels (build/teaser-kernel.elf, build/fbprobe-kernel.elf)
#   make iso        bootable BIOS + UEFI image, build/orvelix.iso
#   make run        boot the teaser in QEMU with a window, or on VNC without a
#                   display (run-probe: the probe)
#   make run-vnc    the same, headless, on VNC display VNC_DISPLAY
#   make debug      boot paused, waiting for gdb on GDB_PORT (then: make gdb)
#   make test       host unit tests (64- and 32-bit, sanitized and optimised), fuzzing, QEMU tests
#   make bench      instruction and video-memory counts of the drawing code
#   make fuzz       each libFuzzer target for FUZZ_SECONDS
#   make screens    a PNG of every screen, and an overview, in docs/screens

BUILD := build

# Flags the user may change, and the ones the kernels must have.
CXXFLAGS ?= -O2 -g
KERNEL_CXXFLAGS := $(CXXFLAGS) -m32 -march=i686 -std=c++20 -ffreestanding \
	-fno-exceptions -fno-rtti -nostdlib -fno-pic -fno-stack-protector \
	-mgeneral-regs-only -mpreferred-stack-boundary=2 -fno-threadsafe-statics -fno-asynchronous-unwind-tables \
	-fno-tree-loop-distribute-patterns -Wall -Wextra -Werror -MMD -MP
KERNEL_ASFLAGS := -m32 -MMD -MP
KERNEL_LDFLAGS := -m elf_i386 -nostdlib -T boot/kernel.ld
LIBGCC = $(shell $(CXX) -m32 -print-libgcc-file-name)

# Host build: the same kernel sources against the simulated controller.
HOST_CXXFLAGS := $(CXXFLAGS) -std=c++20 -DORVELIX_HOST -mgeneral-regs-only \
	-fno-tree-loop-distribute-patterns -Wall -Wextra -Werror -MMD -MP
TEST_CXXFLAGS := $(CXXFLAGS) -std=c++20 -DORVELIX_HOST -Wall -Wextra -Werror -MMD -MP
SAN_FLAGS := -O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
GTEST_LIBS := -lgtest -lgtest_main -pthread

TEASER_SRC := $(wildcard teaser/*.cpp)
# The probe reuses the hand-off walk, the reset sequence, the unshifted map,
# the paging for a framebuffer above 4 GiB and the input sources.
USB_SRC := teaser/usbstart.cpp teaser/usb.cpp teaser/hid.cpp teaser/pci.cpp teaser/uhci.cpp teaser/ehci.cpp teaser/xhci.cpp
PROBE_SHARED := teaser/bootinfo.cpp teaser/machine.cpp teaser/keymap.cpp teaser/paging.cpp teaser/input.cpp $(USB_SRC)
PROBE_SRC := $(wildcard fbprobe/*.cpp) $(PROBE_SHARED)
RUNTIME_SRC := boot/runtime.cpp

TEASER_OBJ := $(BUILD)/k/boot/boot.o $(patsubst %.cpp,$(BUILD)/k/%.o,$(TEASER_SRC) $(RUNTIME_SRC))
PROBE_OBJ := $(BUILD)/k/boot/boot.o $(patsubst %.cpp,$(BUILD)/k/%.o,$(PROBE_SRC) $(RUNTIME_SRC))

HOST_SUPPORT := $(wildcard tests/host/support/*.cpp)
TEASER_TESTS := $(wildcard tests/host/teaser_*.cpp)
PROBE_TESTS := $(wildcard tests/host/probe_*.cpp)

ALL_OBJ := $(sort $(TEASER_OBJ) $(PROBE_OBJ))

all: $(BUILD)/teaser-kernel.elf $(BUILD)/fbprobe-kernel.elf

$(BUILD)/k/boot/boot.o: boot/boot.S
	@mkdir -p $(dir $@)
	$(CXX) $(KERNEL_ASFLAGS) -c $< -o $@

$(filter-out %/boot.o,$(sort $(TEASER_OBJ) $(PROBE_OBJ))): $(BUILD)/k/%.o: %.cpp
	@mkdir -p $(dir $@)
	$(CXX) $(KERNEL_CXXFLAGS) -c $< -o $@

$(BUILD)/teaser-kernel.elf: $(TEASER_OBJ) boot/kernel.ld
	$(LD) $(KERNEL_LDFLAGS) -o $@ $(TEASER_OBJ) $(LIBGCC)
	grub-file --is-x86-multiboot2 $@

$(BUILD)/fbprobe-kernel.elf: $(PROBE_OBJ) boot/kernel.ld
	$(LD) $(KERNEL_LDFLAGS) -o $@ $(PROBE_OBJ) $(LIBGCC)
	grub-file --is-x86-multiboot2 $@

# ---- boot image ----------------------------------------------------------

# BIOS and UEFI, CD or USB stick; the menu waits 3 s, then boots the teaser.
# scripts/mkiso.py writes the GRUB configuration of this and every test image.
$(BUILD)/orvelix.iso: $(BUILD)/teaser-kernel.elf $(BUILD)/fbprobe-kernel.elf scripts/mkiso.py
	python3 scripts/mkiso.py --out $@ --timeout 3 \
		"$(BUILD)/teaser-kernel.elf=ORVELIX teaser" "$(BUILD)/fbprobe-kernel.elf=Framebuffer probe"

$(BUILD)/probe.iso: $(BUILD)/fbprobe-kernel.elf scripts/mkiso.py
	python3 scripts/mkiso.py --kernel $< --out $@

# The set-up runs first and alone; the build after it may run in parallel.
iso: deps-build
	$(MAKE) $(BUILD)/orvelix.iso

QEMU := qemu-system-i386
QEMU_FLAGS := -machine pc,accel=tcg -m 128 -vga std -boot d
QEMU_DISPLAY ?=
# Per user, so that people sharing a machine do not collide (as xv6 does).
GDB_PORT ?= $(shell expr `id -u` % 5000 + 25000)
VNC_DISPLAY ?= $(shell expr `id -u` % 100)
# The address the VNC server and the gdb stub listen on. Neither asks for a
# password, so only this machine reaches them unless QEMU_LISTEN=0.0.0.0.
QEMU_LISTEN ?= 127.0.0.1
VNC_PORT = $$((5900 + $(VNC_DISPLAY)))
VNC_FLAGS = -display none -vnc $(QEMU_LISTEN):$(VNC_DISPLAY)
ifneq ($(filter 127.0.0.1 localhost,$(QEMU_LISTEN)),)
VNC_AT = VNC at localhost:$(VNC_PORT) (display :$(VNC_DISPLAY)), this machine only; from another: ssh -L $(VNC_PORT):localhost:$(VNC_PORT) $$(hostname), then vncviewer localhost::$(VNC_PORT). Ctrl-C stops it.
else
VNC_AT = VNC at $(if $(filter 0.0.0.0,$(QEMU_LISTEN)),$$(hostname),$(QEMU_LISTEN)):$(VNC_PORT) (display :$(VNC_DISPLAY)), open to the network; Ctrl-C stops it.
endif
# Where make gdb finds the stub: a stub on every interface answers here too.
GDB_HOST = $(if $(filter 0.0.0.0,$(QEMU_LISTEN)),127.0.0.1,$(QEMU_LISTEN))

# Boots image $(1) in a window; with no display to open one on (no $DISPLAY,
# no $WAYLAND_DISPLAY) and no QEMU_DISPLAY given, on VNC instead.
define qemu_window
	@if [ -z "$(QEMU_DISPLAY)" ] && [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "No display to open a window on: QEMU shows the screen on $(VNC_AT)"; \
		echo $(QEMU) $(QEMU_FLAGS) $(VNC_FLAGS) -cdrom $(1); \
		exec $(QEMU) $(QEMU_FLAGS) $(VNC_FLAGS) -cdrom $(1); \
	fi; \
	echo $(QEMU) $(QEMU_FLAGS) $(QEMU_DISPLAY) -cdrom $(1); \
	exec $(QEMU) $(QEMU_FLAGS) $(QEMU_DISPLAY) -cdrom $(1)
endef

run: deps-run
	$(MAKE) $(BUILD)/orvelix.iso
	$(call qemu_window,$(BUILD)/orvelix.iso)

run-probe: deps-run
	$(MAKE) $(BUILD)/probe.iso
	$(call qemu_window,$(BUILD)/probe.iso)

run-vnc: deps-run
	$(MAKE) $(BUILD)/orvelix.iso
	@echo "QEMU shows the screen on $(VNC_AT)"
	$(QEMU) $(QEMU_FLAGS) $(VNC_FLAGS) -cdrom $(BUILD)/orvelix.iso

debug: deps-run
	$(MAKE) $(BUILD)/orvelix.iso
	@echo "Waiting for gdb on $(QEMU_LISTEN):$(GDB_PORT); in another shell: make gdb"
	@echo "QEMU shows the screen on $(VNC_AT)"
	$(QEMU) $(QEMU_FLAGS) $(VNC_FLAGS) -gdb tcp:$(QEMU_LISTEN):$(GDB_PORT) -S -cdrom $(BUILD)/orvelix.iso

gdb: deps-run
	gdb -ex 'set $$gdb_port = $(GDB_PORT)' -ex 'set $$gdb_host = "$(GDB_HOST)"' -x scripts/kernel.gdb

# ---- tests and benchmarks ------------------------------------------------

# The host build compiles the kernel sources and the tests in flavours, each
# in its own folder under build/ and each written once below:
#   host    64-bit, optimised as the kernels are (also the benchmarks' build)
#   san     64-bit, under AddressSanitizer and UBSan
#   host32  32-bit, the kernels' width, optimised
#   san32   32-bit, under AddressSanitizer and UBSan
# A flavour gives its flags for kernel sources (_KFLAGS) and for test
# sources (_TFLAGS), how it links (_LINK) and what it links against (_LIBS).
HOST_SRC := $(sort $(TEASER_SRC) $(PROBE_SRC))
BENCH_SRC := $(wildcard bench/*.cpp)
TEST_SRC := $(HOST_SUPPORT) $(TEASER_TESTS) $(PROBE_TESTS) $(BENCH_SRC)

# Debian ships GoogleTest for 64 bits only: the 32-bit flavours link a build
# of it from its sources, made once and shared by both.
GTEST_DIR := /usr/src/googletest/googletest
GTEST32 := $(BUILD)/gtest32/gtest-all.o $(BUILD)/gtest32/gtest_main.o

# The tests' own sources carry line tables only: enough for every backtrace a
# failure or a sanitizer prints, at a third less compile time than full
# debugging information (make TEST_DEBUG=-g for that).
TEST_DEBUG ?= -g1

host_KFLAGS := $(HOST_CXXFLAGS)
host_TFLAGS := $(TEST_CXXFLAGS)
host_LIBS := $(GTEST_LIBS)
san_KFLAGS := $(TEST_CXXFLAGS) $(SAN_FLAGS)
san_TFLAGS := $(TEST_CXXFLAGS) $(SAN_FLAGS)
san_LINK := $(SAN_FLAGS)
san_LIBS := $(GTEST_LIBS)
host32_KFLAGS := -m32 $(HOST_CXXFLAGS)
host32_TFLAGS := -m32 $(TEST_CXXFLAGS)
host32_LINK := -m32 -no-pie
host32_LIBS := $(GTEST32) -pthread
san32_KFLAGS := -m32 $(TEST_CXXFLAGS) $(SAN_FLAGS)
san32_TFLAGS := -m32 $(TEST_CXXFLAGS) $(SAN_FLAGS)
san32_LINK := -m32 -no-pie $(SAN_FLAGS)
san32_LIBS := $(GTEST32) -pthread

# The objects of sources $(2) in flavour $(1).
objs = $(patsubst %.cpp,$(BUILD)/$(1)/%.o,$(2))

define host_flavour
$(call objs,$(1),$(HOST_SRC)): $(BUILD)/$(1)/%.o: %.cpp
	@mkdir -p $$(@D)
	$$(CXX) $$($(1)_KFLAGS) -c $$< -o $$@

$(call objs,$(1),$(TEST_SRC)): $(BUILD)/$(1)/%.o: %.cpp
	@mkdir -p $$(@D)
	$$(CXX) $$($(1)_TFLAGS) $$(TEST_DEBUG) -c $$< -o $$@

$(BUILD)/$(1)/teaser_tests: $(call objs,$(1),$(TEASER_SRC) $(HOST_SUPPORT) $(TEASER_TESTS)) $(filter %.o,$($(1)_LIBS))
	$$(CXX) $$($(1)_LINK) -o $$@ $$^ $$(filter-out %.o,$$($(1)_LIBS))

$(BUILD)/$(1)/probe_tests: $(call objs,$(1),$(PROBE_SRC) $(HOST_SUPPORT) $(PROBE_TESTS)) $(filter %.o,$($(1)_LIBS))
	$$(CXX) $$($(1)_LINK) -o $$@ $$^ $$(filter-out %.o,$$($(1)_LIBS))

ALL_OBJ += $(call objs,$(1),$(HOST_SRC) $(TEST_SRC))
endef
HOST_FLAVOURS := host san host32 san32
$(foreach f,$(HOST_FLAVOURS),$(eval $(call host_flavour,$(f))))

$(GTEST32): $(BUILD)/gtest32/%.o: $(GTEST_DIR)/src/%.cc
	@mkdir -p $(@D)
	$(CXX) -m32 -O2 -std=c++20 -isystem $(GTEST_DIR)/include -I$(GTEST_DIR) -c $< -o $@

HOST_TEST_BINS := $(foreach f,$(HOST_FLAVOURS),$(BUILD)/$(f)/teaser_tests $(BUILD)/$(f)/probe_tests)

host-tests: deps-test
	$(MAKE) $(HOST_TEST_BINS)

# The benchmarks, and the same over a build of the teaser whose drawing
# reports every store to video memory, to follow each repaint moment by moment.
REPLAY_OBJ := $(call objs,replay,$(TEASER_SRC))
$(REPLAY_OBJ): $(BUILD)/replay/%.o: %.cpp
	@mkdir -p $(@D)
	$(CXX) $(HOST_CXXFLAGS) -DORVELIX_STORE_HOOK -c $< -o $@
ALL_OBJ += $(REPLAY_OBJ)

$(BUILD)/bench: $(call objs,host,$(TEASER_SRC) $(HOST_SUPPORT) $(BENCH_SRC))
	$(CXX) -o $@ $^ -pthread

$(BUILD)/bench-replay: $(REPLAY_OBJ) $(call objs,host,$(HOST_SUPPORT) $(BENCH_SRC))
	$(CXX) -o $@ $^ -pthread

bench: deps-test
	$(MAKE) $(BUILD)/bench $(BUILD)/bench-replay
	python3 bench/run.py $(BUILD)/bench $(BUILD)/bench-replay

# A PNG of every screen and an overview of them, in docs/screens.
screens: deps-test
	$(MAKE) all
	python3 tests/e2e/screens.py docs/screens

# Fuzzing: libFuzzer targets over the same sources, under ASan and UBSan,
# each built twice: as a 64-bit program in build/fuzz and as a 32-bit one,
# like the kernels, in build/fuzz32. `make fuzz` runs each for FUZZ_SECONDS;
# `make test` replays the seeds in tests/fuzz/corpus and fuzzes each briefly.
FUZZ_CXX := clang++
FUZZ_FLAGS := -g -O1 -std=c++20 -DORVELIX_HOST -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
FUZZ_NAMES := $(patsubst tests/fuzz/%.cpp,%,$(wildcard tests/fuzz/fuzz_*.cpp))
FUZZ_SHARED := $(TEASER_SRC) $(HOST_SUPPORT) tests/fuzz/sanitizer_options.cpp
FUZZ_SECONDS ?= 120
fuzz_ARCH :=
fuzz32_ARCH := -m32

# The glyph loops and the test support compare on every pixel; traced, those
# comparisons cost much of the time and guide nothing.
FUZZ_UNTRACED := teaser/font.cpp teaser/termstore.cpp $(HOST_SUPPORT)
# The pixel loops write only video memory, which the canaries of the test
# framebuffer watch (AddressSanitizer knows nothing of that mapping), and
# hold no array of their own. They run optimised, without coverage, under
# UBSan but for its check of each pointer step, which is what would keep a
# row from being written as a block.
FUZZ_DRAW_FLAGS := -g -O2 -std=c++20 -DORVELIX_HOST \
	-fsanitize=undefined -fno-sanitize=pointer-overflow -fno-sanitize-recover=all

# One width of the targets, $(1): fuzz or fuzz32. The objects are shared by
# the targets of a width.
define fuzz_width
$(call objs,$(1)/o,$(FUZZ_SHARED) $(FUZZ_NAMES:%=tests/fuzz/%.cpp)): $(BUILD)/$(1)/o/%.o: %.cpp
	@mkdir -p $$(@D)
	$$(FUZZ_CXX) $$($(1)_ARCH) $$(FUZZ_FLAGS) $$(FUZZ_LOCAL) -MMD -MP -c $$< -o $$@

$(call objs,$(1)/o,$(FUZZ_UNTRACED)): FUZZ_LOCAL := -fno-sanitize-coverage=trace-cmp
$(BUILD)/$(1)/o/teaser/draw.o: FUZZ_FLAGS := $(FUZZ_DRAW_FLAGS)

$(FUZZ_NAMES:%=$(BUILD)/$(1)/%): $(BUILD)/$(1)/%: $(BUILD)/$(1)/o/tests/fuzz/%.o $(call objs,$(1)/o,$(FUZZ_SHARED))
	$$(FUZZ_CXX) $$($(1)_ARCH) $$(FUZZ_FLAGS) -o $$@ $$^

FUZZ_TARGETS += $(FUZZ_NAMES:%=$(BUILD)/$(1)/%)
ALL_OBJ += $(call objs,$(1)/o,$(FUZZ_SHARED) $(FUZZ_NAMES:%=tests/fuzz/%.cpp))
endef
FUZZ_TARGETS :=
$(foreach w,fuzz fuzz32,$(eval $(call fuzz_width,$(w))))

# Everything the tests run; the end-to-end tests make their own images.
test-build: all $(BUILD)/orvelix.iso $(HOST_TEST_BINS) $(FUZZ_TARGETS)

# Each phase says how long it took: the build here, the rest at the end of
# the runner's report. Without a -j of its own the build runs TEST_JOBS
# compilers at a time, as the runner runs that many programs or machines.
TEST_JOBS ?= 2
test: deps-test
	scripts/timed.sh build $(MAKE) $(if $(filter -j%,$(MAKEFLAGS)),,-j$(TEST_JOBS)) test-build
	python3 tests/run_all.py -j $(TEST_JOBS) $(TEST_ARGS)

fuzz: deps-test
	$(MAKE) $(FUZZ_TARGETS)
	python3 tests/run_all.py --fuzz-only --fuzz-seconds $(FUZZ_SECONDS)

# ---- set-up --------------------------------------------------------------

deps-build:
	@scripts/deps.sh build
deps-run:
	@scripts/deps.sh run
deps-test:
	@scripts/deps.sh test

clean:
	rm -rf $(BUILD)

.PHONY: all iso run run-probe run-vnc debug gdb host-tests test test-build bench fuzz screens clean deps-build deps-run deps-test

-include $(ALL_OBJ:.o=.d)
