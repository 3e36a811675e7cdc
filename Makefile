# The front door: `make run` and `make test`.
.PHONY: all deps build run test clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake --preset linux >/dev/null
	@cmake --build --preset linux -j 2

run: build
	@tools/run.sh

test: build
	@ctest --preset linux

clean:
	rm -rf build
