# Stowmere: set-up, build, run and test in one step each.
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)

# ccache, when installed, lets several checkouts of the tree share one compiler cache.
CCACHE     := $(shell command -v ccache 2>/dev/null)
LAUNCHER   := $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR  := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps configure build run test bench fuzz sanitize deb clean format format-check tidy hooks pot

all: build

deps:
	@scripts/install-deps

# BENCH=ON adds the benchmarks to the build; `make bench` sets it, other targets leave them out.
BENCH      ?= OFF

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DSTOWMERE_WERROR=ON \
	  -DSTOWMERE_BUILD_BENCH=$(BENCH) $(LAUNCHER) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/stowmere

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The sources in the repository's .clang-format: `make format` rewrites them, `make
# format-check` lists what differs and fails.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' | grep -v '^tests/store/corpus/')
format:
	@clang-format -i $(FORMAT_FILES)

format-check:
	@clang-format --dry-run -Werror $(FORMAT_FILES)

# clang-tidy over src/ with the checks of .clang-tidy, on the compile commands of the build
# (built first: the checked sources include the generated Qt headers). It reuses the test
# build rather than configuring one of its own.
tidy: build
	@JOBS=$(JOBS) scripts/run-tidy $(BUILD)

# po/stowmere.pot from the texts the Qt-free layers mark with _(), N_() and ngettext().
pot:
	@scripts/make-pot . po/stowmere.pot

bench: BENCH = ON
bench: build
	@scripts/run-benchmarks $(BUILD)

# Bounded libFuzzer run over the packet reader (clang). New inputs go to build-fuzz/corpus;
# the seed corpus in tests/store/corpus also runs in `make test`.
fuzz: deps
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSTOWMERE_FUZZ=ON -DSTOWMERE_WERROR=ON \
	  -DSTOWMERE_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_packet_reader
	@mkdir -p build-fuzz/corpus
	build-fuzz/bin/fuzz_packet_reader -max_total_time=$${FUZZ_SECONDS:-60} \
	  -max_len=4096 build-fuzz/corpus tests/store/corpus

# Every test under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSTOWMERE_SANITIZE=ON -DSTOWMERE_WERROR=ON \
	  -DSTOWMERE_BUILD_BENCH=OFF $(LAUNCHER) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian packages stowmere and stowmere-cli, built by dpkg-buildpackage from a copy of the
# tree in build-deb (where the .deb files land), then checked with lintian.
# DEB_BUILD_OPTIONS=nocheck skips the tests; WERROR=ON makes the packages' compiler warnings
# errors (CI sets it; a packager's build never fails on a new warning).
deb: deps
	@rm -rf build-deb && mkdir -p build-deb
	@rsync -a --exclude='/build*/' --exclude=/.git ./ build-deb/stowmere/
	cd build-deb/stowmere && CMAKE_C_COMPILER_LAUNCHER=$(CCACHE) CMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) \
	  STOWMERE_WERROR=$(or $(WERROR),OFF) \
	  DEB_BUILD_OPTIONS="$(strip $(DEB_BUILD_OPTIONS) parallel=$(JOBS))" dpkg-buildpackage -us -uc -b
	lintian --fail-on error build-deb/*.changes
	@ls build-deb/*.deb

# A pre-commit hook that runs clang-format on the staged C++ files (scripts/install-hooks).
hooks:
	@scripts/install-hooks

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-deb
