# The two commands: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
SANITIZE_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all deps configure build sanitize run test fuzz bench clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The program and its unit and widget tests again, under AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails the run.
sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVARBELO_SANITIZE=ON \
		-DVARBELO_SYSTEM_TESTS=OFF >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

run: build
	./$(BUILD)/varbelo

test: build sanitize
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
