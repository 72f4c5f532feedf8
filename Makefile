# Top-level entry points. `make play` and `make test` each do the whole set-up on a fresh machine.
BUILD ?= build
JOBS ?= $(shell nproc)
DATA ?= data

.PHONY: all setup setup-tests configure build build-play build-tests play test package asan bench bench-hd golden video fuzz fuzz-build fuzz-corpus clean \
	web serve-web test-web bench-web

all: build

# What building and playing need; setup-tests adds what only the tests and benchmarks use.
setup:
	@scripts/setup

setup-tests:
	@scripts/setup-tests

# The tests are off unless `make test` (or build-tests) turned them on in $(BUILD); either way
# build and play compile only the programs, so after `make test` they rebuild nothing needlessly.
configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Every program: the players, forge, capture and tirtool.
build: configure
	@cmake --build $(BUILD) -j $(JOBS) --target programs

# What playing needs: the two players and forge.
build-play: configure
	@cmake --build $(BUILD) -j $(JOBS) --target playing

build-tests: setup-tests
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The demo plays from the data folder; forge fills it the first time.
$(DATA)/tir.val:
	@if [ -x $(BUILD)/bin/forge ]; then $(BUILD)/bin/forge --out $(DATA); \
	else echo "no forge tool yet: put tir.val into $(DATA)/"; fi

play: build-play $(DATA)/tir.val
	$(BUILD)/bin/player --data $(DATA)

test: build-tests
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Debian package: $(PACKAGE_BUILD)/tirval_VERSION_ARCH.deb with the programs, the default
# data, man pages and a desktop entry, built in a folder of its own for /usr (the players' data
# fallback is compiled in) and checked with lintian, which must report no errors.
PACKAGE_BUILD ?= build-package
package:
	@scripts/setup package
	@cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	    -DBUILD_TESTING=OFF >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	@cd $(PACKAGE_BUILD) && cpack -G DEB
	lintian --fail-on error $(PACKAGE_BUILD)/tirval_*.deb

# AddressSanitizer and UndefinedBehaviorSanitizer build of the programs and the suite, with the
# same tests. Built with clang: it compiles this build in about 60 % of gcc's time, and its
# sanitizer also checks that every call through a function pointer has the function's own type.
# The benchmarks are left out (build-tests compiles them).
asan: setup-tests
	@scripts/setup fuzz
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTIR_SANITIZE=ON -DBUILD_TESTING=ON \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build build-asan -j $(JOBS) --target tirtests programs
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# libFuzzer harnesses (tests/fuzz/), built with clang into build-fuzz. `make fuzz` runs each for
# FUZZ_SECONDS on a corpus seeded from forge's data and the MPEG conformance streams; inputs that
# stop a harness land in build-fuzz/findings/NAME/ and the target fails. FUZZ_HARNESSES picks
# some (archive layer3 scene picture companion module envelope).
FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
FUZZ_HARNESSES ?= archive layer3 scene picture companion module envelope
SHARED ?= $(or $(TIR_SHARED),../shared)

fuzz-build:
	@scripts/setup fuzz
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIR_FUZZ=ON \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

$(FUZZ_BUILD)/seeds/.made: | build
	@mkdir -p $(FUZZ_BUILD)
	@scripts/fuzz-corpus $(BUILD)/bin/forge $(BUILD)/bin/tirtool $(SHARED) $(FUZZ_BUILD)/seeds
	@touch $@

fuzz-corpus: $(FUZZ_BUILD)/seeds/.made

fuzz: fuzz-build fuzz-corpus
	@scripts/fuzz-run $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_HARNESSES)

bench: build-tests
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

# The capture benchmark at 1920 x 1080 and 60 fps over the demo's first 30 s (several minutes).
bench-hd: build-tests
	$(BUILD)/bin/bench_capture_speed --size 1920x1080 --fps 60 --to 30

# The whole demo as an MP4 with sound, rendered offline (needs ffmpeg: apt-get install ffmpeg).
VIDEO ?= tirval.mp4
VIDEO_SIZE ?= 1280x720
VIDEO_FPS ?= 60
video: build $(DATA)/tir.val
	SDL_VIDEODRIVER=offscreen $(BUILD)/bin/capture --data $(DATA) --fps $(VIDEO_FPS) \
	    --size $(VIDEO_SIZE) --video $(VIDEO)

# Regenerates the visual regression test's golden frames from the default data, after a
# change whose pictures a person has looked at, and the digests of the data they were made from.
# Commit tests/golden/ with the change.
GOLDEN_TIMES = $(shell grep -v '^\#' tests/golden/times.txt | paste -sd, -)
golden: build
	@rm -rf $(BUILD)/golden-data && $(BUILD)/bin/forge --out $(BUILD)/golden-data >/dev/null
	@rm -f tests/golden/at-*.png
	SDL_VIDEODRIVER=offscreen $(BUILD)/bin/capture --data $(BUILD)/golden-data --size 160x120 \
	    --at $(GOLDEN_TIMES) --out tests/golden
	@$(BUILD)/bin/tirtool unpack $(BUILD)/golden-data/tir.val $(BUILD)/golden-data/files >/dev/null
	@cd $(BUILD)/golden-data/files && sha256sum * > $(CURDIR)/tests/golden/forged-entries.sha256

# The demo in a web browser: build-web/site/ holds the page, both players as WebAssembly and the
# default data. The three libraries are built from Debian's source packages once, into
# build-web/deps/; forge and the tests' references run natively from $(BUILD).
WEB ?= build-web
WEB_PORT ?= 8018
WEB_SITE = $(WEB)/site
export NODE_PATH ?= /usr/share/nodejs

web: build
	@scripts/setup web
	@scripts/build-web-deps $(WEB)/deps
	@if [ ! -f $(WEB)/data/tir.val ]; then $(BUILD)/bin/forge --out $(WEB)/data >/dev/null; fi
	@emcmake cmake -S . -B $(WEB)/cmake -DCMAKE_BUILD_TYPE=Release \
	    -DTIR_WEB_DEPS=$(abspath $(WEB)/deps) >/dev/null
	@cmake --build $(WEB)/cmake -j $(JOBS)
	@mkdir -p $(WEB_SITE)
	@cp web/index.html web/dev.html web/page.js web/page.css $(WEB)/cmake/bin/player.js \
	    $(WEB)/cmake/bin/player.wasm $(WEB)/cmake/bin/devplayer.js \
	    $(WEB)/cmake/bin/devplayer.wasm $(WEB)/data/tir.val $(WEB_SITE)/
	@echo "web: the site is in $(WEB_SITE)/ (make serve-web shows it)"

serve-web: web
	@echo "serving $(WEB_SITE)/ at http://127.0.0.1:$(WEB_PORT)/ (dev.html for the development player; Ctrl+C ends)"
	@python3 -m http.server $(WEB_PORT) --bind 127.0.0.1 --directory $(WEB_SITE)

# The browser tests: Debian's chromium, headless, driven by puppeteer-core, against the site
# served on 127.0.0.1 and the native build's frames and sound.
$(WEB)/node/.installed: tests/web/package.json tests/web/package-lock.json
	@mkdir -p $(WEB)/node
	@cp tests/web/package.json tests/web/package-lock.json $(WEB)/node/
	@cd $(WEB)/node && npm ci --silent --no-audit --no-fund
	@touch $@

test-web: web build-tests $(WEB)/node/.installed
	@NODE_PATH=$(abspath $(WEB)/node/node_modules) node tests/web/test_web.js \
	    --site $(WEB_SITE) --bin $(BUILD)/bin --work $(WEB)/test

bench-web: web build-tests $(WEB)/node/.installed
	@NODE_PATH=$(abspath $(WEB)/node/node_modules) node tests/web/bench_web.js \
	    --site $(WEB_SITE) --bin $(BUILD)/bin --work $(WEB)/bench

clean:
	rm -rf $(BUILD) build-asan $(PACKAGE_BUILD) $(FUZZ_BUILD) $(WEB)/cmake $(WEB)/site
