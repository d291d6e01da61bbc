# SPDX-License-Identifier: GPL-3.0-or-later
SHELL := /bin/bash
# The two commands: `make run` and `make test`. Each command installs what it needs and is missing
# first (tools/install-deps.sh, one group of Debian packages per command).
BUILD ?= build
SANITIZE_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
WINDOWS_BUILD ?= build-windows
# The program and its test helpers built inside the Debian 13 root, against its Qt.
DEBIAN13_BUILD = $(BUILD)/debian13
FUZZ_SECONDS ?= 300
JOBS ?= $(shell nproc)

.PHONY: all deps configure build sanitize run test fuzz bench package windows debian13 \
	debian13-early clean

all: build

# What building and running the program need.
deps:
	@tools/install-deps.sh run

# The tests run the Windows build's programs under wine too, when make windows has built them.
configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVARBELO_WINDOWS_BUILD=$(abspath $(WINDOWS_BUILD)) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The program and its unit and widget tests again, under AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails the run.
sanitize: deps
	@tools/install-deps.sh sanitize
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVARBELO_SANITIZE=ON \
		-DVARBELO_SYSTEM_TESTS=OFF >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The number reader under libFuzzer for FUZZ_SECONDS; `make test` runs it for 30 s.
fuzz: deps
	@tools/install-deps.sh fuzz
	@cmake -S tests/fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@mkdir -p $(FUZZ_BUILD)/corpus
	$(FUZZ_BUILD)/fuzz_numbertext -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
		-print_final_stats=1 $(FUZZ_BUILD)/corpus tests/fuzz/corpus 2>&1 \
		| grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|INITED|READ)|^"|dictionary' ; exit $${PIPESTATUS[0]}

# Micro-benchmarks of the hot paths, then the whole program under its own Xvfb, and its playback
# pace on headless sway and KWin, into native and XWayland windows.
bench: deps
	@tools/install-deps.sh bench
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARBELO_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	./$(BUILD)/bench/bench_hotpaths
	bench/program_bench.sh $(BUILD)

# The program alone, without the tests and their helpers: what make run waits for.
.PHONY: program
program: configure
	@cmake --build $(BUILD) -j $(JOBS) --target varbelo

# Where no display is named (a server, a container, an SSH session) the program can only give its
# reason and fail: give it, point at the demo, which brings its own X server, and end quietly.
ifeq ($(strip $(DISPLAY)$(WAYLAND_DISPLAY)),)
run: program
	@./$(BUILD)/varbelo || true
	@echo "make demo shows Varbelo at work on a private X server, without a display of your own."
else
run: program
	./$(BUILD)/varbelo
endif

# A Debian package of the program, its desktop entry, icons, metainfo and man page.
package: build
	@tools/install-deps.sh package
	cd $(BUILD) && cpack -G DEB

# Start-up to the first frame of this tree's program against BASE's (a commit), in turns on one
# X server: the figure of a change that must not slow the start.
.PHONY: bench-startup
bench-startup: deps
	@test -n "$(BASE)" || { echo "make bench-startup BASE=COMMIT: the commit to compare with"; exit 2; }
	@tools/install-deps.sh bench
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARBELO_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	bench/startup_side_by_side.sh $(BUILD) $(BASE)

# varbelo.exe for 64-bit Windows, one file with Qt linked in, and a zip to hand out, in
# $(WINDOWS_BUILD)/. Qt for Windows is built once per machine from Debian's source (the README
# says how long; tools/windows/build-qt.sh), and the build folder starts over when that Qt changes.
windows: deps
	@tools/install-deps.sh windows
	@qt=$$(tools/windows/build-qt.sh) && \
	if ! grep -qs "^CMAKE_TOOLCHAIN_FILE:[A-Z]*=$$qt/" $(WINDOWS_BUILD)/CMakeCache.txt; then \
		rm -rf $(WINDOWS_BUILD); fi && \
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_TOOLCHAIN_FILE=$$qt/lib/cmake/Qt6/qt.toolchain.cmake \
		-DQT_CHAINLOAD_TOOLCHAIN_FILE=$(CURDIR)/tools/windows/mingw-w64.cmake >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target varbelo windows_zip

# Debian 13's desktops are tested inside a Debian 13 root, built once per machine into the cache
# beside Qt for Windows (tools/debian13/root.sh); the program and the tests' helpers are built in
# it against Debian 13's Qt, and the build folder is told where the root is, so that ctest runs
# the tests on its compositors.
debian13: deps
	@tools/install-deps.sh debian13
	@root=$$(tools/debian13/root.sh) && \
	tools/debian13/enter.sh $$root . $(DEBIAN13_BUILD) cmake -S /src -B /build \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && \
	tools/debian13/enter.sh $$root . $(DEBIAN13_BUILD) cmake --build /build -j $(JOBS) \
		--target varbelo waylandrecorder clickrecorder fakekeys && \
	cmake -S . -B $(BUILD) -DVARBELO_DEBIAN13_ROOT=$$root >/dev/null

# The root's download and unpacking, started first in make test, go on while the rest builds
# (Qt for Windows takes long); make debian13 then waits for them (root.sh takes a lock).
debian13-early:
	@tools/install-deps.sh debian13
	@mkdir -p $(BUILD) && (tools/debian13/root.sh >$(BUILD)/debian13-root.log 2>&1 &)

# Everything, the Windows build's test programs included (they run under wine in ctest).
test: debian13-early build sanitize windows debian13
	@tools/install-deps.sh test
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(WINDOWS_BUILD)

# The program at work on a private X server: three recorded spots clicked twice, a table of
# where and when the clicks landed, and a picture of the running window in $(BUILD)/demo-run.png
# (the README's own with DEMO_PICTURE=docs/demo-run.png).
DEMO_PICTURE ?=
.PHONY: demo
demo: build
	@tools/install-deps.sh demo
	tools/demo.sh $(BUILD) $(DEMO_PICTURE)

# Pictures of the window at 96 and 144 dpi in docs/.
.PHONY: screenshots
screenshots: build
	@tools/install-deps.sh demo
	tools/screenshots.sh $(BUILD)
