# The front door: `make run` and `make test`.
.PHONY: all deps build run test dist clean asan fuzz soak

all: build

# Every package any target here needs (make run asks only for its own).
deps:
	@tools/install-deps.sh all

# The Linux program, the suite and the bench's runner; the program for arm64
# (its test runs it under qemu); both Windows programs.
build: deps
	@cmake --preset linux -DSINEBAND_TESTS=ON -DSINEBAND_BENCH=ON >/dev/null
	@cmake --build --preset linux -j 2
	@cmake --preset linux-aarch64 >/dev/null
	@cmake --build --preset linux-aarch64 -j 2
	@cmake --preset mingw-x86 >/dev/null
	@cmake --build --preset mingw-x86 -j 2
	@cmake --preset mingw-x64 >/dev/null
	@cmake --build --preset mingw-x64 -j 2

# The Linux program alone, with only the packages it needs to build and run.
# A new build/linux is configured without the suite and the bench, so that
# GoogleTest and freeglut need not be there; one configured by make build
# keeps them.
RUN_CONFIGURE := $(if $(wildcard build/linux/CMakeCache.txt),,-DSINEBAND_TESTS=OFF -DSINEBAND_BENCH=OFF)
run:
	@tools/install-deps.sh run
	@cmake --preset linux $(RUN_CONFIGURE) >/dev/null
	@cmake --build --preset linux --target sineband -j 2
	@tools/run.sh

test: build
	@ctest --preset linux

# The archives, in build/dist: sineband-linux-x86_64.tar.gz and
# sineband-linux-aarch64.tar.gz, sineband_<version>_amd64.deb and
# sineband_<version>_arm64.deb, sineband-win32.zip, sineband-win64.zip and
# sineband-web.zip (tools/dist.sh), each read back.
dist: build
	@tools/dist.sh

# Frame rate, CPU, memory and start-up against a freeglut peer:
# build/linux/bench/results/report.md. Not a test; make test does not run it.
.PHONY: bench profile
bench: deps
	@cmake --preset linux -DSINEBAND_BENCH=ON >/dev/null
	@cmake --build --preset linux --target bench_programs -j 2
	@bench/run.sh

# Microbenchmarks and a callgrind profile of a frame and of the start-up:
# build/linux/bench/profile/report.md.
profile: deps
	@cmake --preset linux -DSINEBAND_BENCH=ON >/dev/null
	@cmake --build --preset linux --target profile_programs -j 2
	@bench/profile.sh

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j 2
	@ctest --preset asan

# The message-queue fuzzer, for FUZZ_SECONDS (default 60).
FUZZ_SECONDS ?= 60
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j 2
	@tools/fuzz.sh $(FUZZ_SECONDS)

# Ten minutes of drawing, resizing and typing, memory sampled each second.
SOAK_SECONDS ?= 600
soak: build
	@tools/soak.sh $(SOAK_SECONDS)

# --- the web page -----------------------------------------------------------
# build/web/index.html, the page with the program inside (the web preset,
# Emscripten), with only the packages the page needs. make build builds it
# too: make test's browser tests load it.
.PHONY: web web-page
web-page:
	@tools/install-deps.sh web
	@cmake --preset web >/dev/null
	@cmake --build --preset web -j 2
build: web-page

# With a display, the page served on 127.0.0.1 until Ctrl+C; with none, a
# few seconds in headless Chromium: build/web-screenshot.png, then Escape.
web: web-page
	@tools/web.sh

# The web table of docs/performance.md: CPU per frame, first frame, frame
# rate and bytes of the page against a hand-written WebGL page of the same
# band and a clear-only page (tools/web/peers), in headless Chromium and in
# Firefox on an Xvfb of its own. Not a test.
.PHONY: bench-web
bench-web: web-page
	@node tools/web/bench.js

clean:
	rm -rf build
