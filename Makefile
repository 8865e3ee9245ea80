# The two commands people use, over CMake. Each installs what is missing first.
# Every configuration is a preset of CMakePresets.json, built through
# scripts/build.sh PRESET [TARGET...]; the folders below are the presets'.
BUILD := build

.PHONY: all build run test clean artwork-sheet screenshots stills bench

all: build

build:
	@bash scripts/setup.sh
	@bash scripts/build.sh default

# Only the two programs it may start: a first run waits for the show, not for
# the test suite's build.
run:
	@bash scripts/setup.sh
	@bash scripts/build.sh default velmor velmor-capture
	@bash scripts/run.sh

# The whole suite twice: the normal build, then every program and test again
# under AddressSanitizer, LeakSanitizer and UBSan (without the real-time runs
# of the whole show, labelled `long`, the whole-show capture and the
# resident-size test: docs/RELIABILITY.md says why), then short fuzzer runs,
# then the browser build in headless Chromium, then the Windows build under Wine,
# then the maker against make gift.
test:
	@bash scripts/setup.sh --tests
	@bash scripts/build.sh default
	ctest --preset default
	@$(MAKE) --no-print-directory test-sanitize test-fuzz gift-check web-check windows-check \
	  maker-check

SANITIZE_BUILD := build-sanitize
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: sanitize test-sanitize fuzz-build test-fuzz fuzz

sanitize:
	@bash scripts/setup.sh --tests
	@bash scripts/build.sh sanitize

# Programs that open a GL driver through EGL or GLX (the capture tool, the
# intro in Xvfb) run apart (the test preset sanitize-gl), with the driver
# preloaded so that its one-time allocations can be told from ours (see
# tests/lsan.supp). Left out: the long runs, tests timed against a bound
# (label `timing`), the whole-show capture (its label is lost in discovery),
# and the resident-size test, which ASan's quarantine of freed memory fails by
# design.
GL_DRIVER := $(firstword $(wildcard /usr/lib/*/dri/swrast_dri.so))
test-sanitize: sanitize
	ctest --preset sanitize
	LD_PRELOAD=$(GL_DRIVER) ctest --preset sanitize-gl

# The fuzzers need clang's libFuzzer: a build of their own.
fuzz-build:
	@bash scripts/setup.sh --tests
	@bash scripts/build.sh fuzz

# Committed crash inputs replayed, then 5 seconds of fuzzing each.
test-fuzz: fuzz-build
	ctest --preset fuzz

# Each fuzzer for FUZZ_SECONDS (default 60), one after the other, keeping
# the corpus it grows in $(FUZZ_BUILD)/runs/.
fuzz: fuzz-build
	@for f in tga jpeg resource module pack; do \
	  bash fuzz/run_fuzzer.sh $(FUZZ_BUILD)/$${f}_fuzzer $$f $(FUZZ_SECONDS) $(FUZZ_BUILD)/runs || exit 1; \
	done

clean:
	rm -rf $(BUILD)

# The intro in a browser, built with Emscripten (in build-emscripten/) into
# $(WEB_BUILD)/, the folder to publish: the page, velmor.js, velmor.wasm, the
# module and the libraries' licences. The libraries are built for the browser
# once, into a cache shared between checkouts (scripts/third-party.sh web).
WEB_BUILD := build-web
# The gift maker's core, built beside the page: the artwork, fit and pack
# code in WebAssembly, with tools/maker/maker_core.mjs.
MAKER_CORE := build-emscripten/maker
WEB_PORT := 8000
.PHONY: web web-serve web-check web-screenshots
web:
	@bash scripts/setup.sh --web
	@bash scripts/build.sh web

# The page in headless Chromium (about two minutes): first the audio
# worklet's processor and player in Node, and the gift maker's core against
# the desktop's artwork, pack and module tools, in Node and in Chromium
# (about a minute and a half); the cover, the still hook's frame
# against the capture tool's, the page without its module; the browser's
# mipmap builder against the desktop's. Then the same page tests in each of
# three engines, each run timed (tests/web/page_tests.mjs): the cover, the
# show started by a click, a card, the heard rows against the audio clock, a
# page held busy as the sound starts, Escape's fade, Play again, a hidden page
# and the still at 7 s; Firefox and WebKit with a window under Xvfb. An
# engine's failure does not stop the others. First, the licences the page
# carries: all permissive; and before them the one file and a gift's one file
# and page folder (web-one-file-check, gift-html-check).
PAGE_ENGINES := chromium firefox webkit
web-check: web web-one-file-check gift-html-check
	@bash scripts/setup.sh --tests --browsers
	@bash scripts/build.sh default velmor-capture velmor-module velmor-artwork velmor-pack
	bash tests/licences_check.sh $(WEB_BUILD)
	bash tests/licences_check.sh $(MAKER_CORE)
	VELMOR_WEB=$(WEB_BUILD) node --test tests/web/worklet_tests.mjs
	VELMOR_MAKER_CORE=$(MAKER_CORE) VELMOR_TOOLS=$(BUILD)/tools node --test tests/web/maker_core_tests.mjs
	VELMOR_MAKER_CORE=$(MAKER_CORE) VELMOR_TOOLS=$(BUILD)/tools \
	  bash tools/web/puppeteer.sh --test tests/web/maker_core_browser_tests.mjs
	bash tests/web/browser_check.sh $(WEB_BUILD) $(BUILD)/velmor-capture
	bash tests/web/mipmap_check.sh
	@failed=; for engine in $(PAGE_ENGINES); do \
	  start=$$(date +%s); \
	  bash tests/web/page_tests.sh $(WEB_BUILD) $$engine $(BUILD) || failed="$$failed $$engine"; \
	  echo "web-check: the page tests in $$engine took $$(( $$(date +%s) - start )) s"; \
	done; \
	[ -z "$$failed" ] || { echo "web-check: the page tests failed in:$$failed" >&2; exit 1; }

# The page as one file that plays opened from disk, offline: what a gift
# sends to someone with nothing but a browser.
ONE_FILE := build-web-one/velmor.html
.PHONY: web-one-file web-one-file-check
web-one-file: web
	@mkdir -p $(dir $(ONE_FILE))
	node tools/web/make_one_file.mjs $(WEB_BUILD) $(ONE_FILE)

# Opens the one file from disk in headless Chromium and plays it.
web-one-file-check: web-one-file
	@bash scripts/setup.sh --tests --browsers
	VELMOR_WEB=$(WEB_BUILD) VELMOR_ONE_FILE=$(ONE_FILE) \
	  bash tools/web/puppeteer.sh --test tests/web/one_file_tests.mjs

# A gift given to someone with nothing but a browser (about three minutes):
# `make gift … TARGETS=html,web` from words and photos of the test's own, its
# one file opened from disk and clicked, and its page folder served, in
# headless Chromium against the capture tool run in the gift's folder; one
# files whose packs are damaged show the reader's line and start nothing.
.PHONY: gift-html-check
gift-html-check: web
	@bash scripts/setup.sh --tests --browsers
	@bash scripts/build.sh default velmor-capture velmor-module
	bash tests/gift/gift_html_check.sh

web-serve: web
	@echo "Serving $(WEB_BUILD)/ on http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C ends it)"
	@cd $(WEB_BUILD) && python3 -m http.server $(WEB_PORT) --bind 127.0.0.1

# The maker: a gift made in a browser, in $(MAKER_BUILD)/, a static folder to
# publish as $(WEB_BUILD)/ is. It carries what the other builds made (the
# intro's page, the Windows program, the maker's WebAssembly core) and
# compiles nothing for a gift (tools/maker/build_maker.mjs).
MAKER_BUILD := build-maker
MAKER_PORT := 8001
.PHONY: maker maker-serve maker-check
maker: web windows
	node tools/maker/build_maker.mjs $(WEB_BUILD) $(WIN_BUILD)/velmor-for-torva $(MAKER_CORE) \
	  $(MAKER_BUILD)

maker-serve: maker
	@echo "Serving $(MAKER_BUILD)/ on http://127.0.0.1:$(MAKER_PORT)/ (Ctrl+C ends it)"
	@cd $(MAKER_BUILD) && python3 -m http.server $(MAKER_PORT) --bind 127.0.0.1

# The zip writer and the folder's builder in Node; then the maker in
# headless Chromium against `make gift` of the same words and photos (about
# six minutes): the same pictures, pack and single file, the single file
# opened from disk showing the gift as the capture tool does, the Windows zip
# under Wine; the refusals; no request after it loaded.
maker-check: maker
	@bash scripts/setup.sh --tests --browsers
	@bash scripts/build.sh default velmor-capture velmor-artwork velmor-pack velmor-module velmor
	VELMOR_MAKER=$(MAKER_BUILD) node --test tests/maker/build_tests.mjs
	bash tests/maker/maker_check.sh $(MAKER_BUILD) $(BUILD)

# The intro for Windows, cross-built with MinGW-w64 into $(WIN_BUILD)/:
# velmor.exe, one static program, and velmor-for-torva.zip, what is given.
# The libraries are cross-built once, into the same cache as the browser's.
WIN_BUILD := build-win
.PHONY: windows windows-check
windows:
	@bash scripts/setup.sh --windows
	@bash scripts/build.sh windows
	@echo "windows: $(WIN_BUILD)/velmor.exe, $(WIN_BUILD)/velmor-for-torva.zip"

# The Windows build under Wine in Xvfb with a fresh prefix (about a minute):
# its imports, the window, a card at 7 s, the full-screen toggle, Escape, the
# boxes for a screen that cannot switch and for no sound device, the missing
# module; the music under load without a drop-out. The capture tool gives the
# bare frame the card is told from and the music's own rests. First,
# the licences the zip carries: all permissive.
windows-check: windows
	@bash scripts/setup.sh --tests
	@bash scripts/build.sh default velmor-capture
	bash tests/licences_check.sh $(WIN_BUILD)/velmor-for-torva.zip
	./$(BUILD)/velmor-capture --fps 10 --still 0.5 $(BUILD)/bare-frame.png
	@rm -rf $(BUILD)/whole-music
	./$(BUILD)/velmor-capture --fps 1 -o $(BUILD)/whole-music/
	bash tests/windows/wine_check.sh $(WIN_BUILD) $(BUILD)/bare-frame.png $(BUILD)/whole-music/audio.wav

# The page in headless Chromium photographed as a viewer sees it: the cover, a
# picture card and the end (docs/web_*.png), with its frame rate and the
# sound's underruns over 30 s of the show (about a minute).
web-screenshots: web
	bash tools/web/puppeteer.sh tools/web/photos.mjs $(WEB_BUILD) docs

# The intro made someone's own (scripts/gift.sh): WORDS, a text of 10 cards
# (examples/words.txt shows the form); PHOTOS, a folder of pictures for the
# picture cards; MUSIC, a module that fits the show; all in OUT (default gift/),
# with the browser page's folder, the Windows zip and the one HTML file to give
# when TARGETS (a list of web, windows and html) asks.
# They reach the script through its environment, exactly as given: $(value …)
# keeps make from reading a `$` in them, and no shell reads them at all.
WORDS ?=
PHOTOS ?=
MUSIC ?=
OUT ?= gift
TARGETS ?=
.PHONY: gift gift-check
gift: override export WORDS := $(value WORDS)
gift: override export PHOTOS := $(value PHOTOS)
gift: override export MUSIC := $(value MUSIC)
gift: override export OUT := $(value OUT)
gift: override export TARGETS := $(value TARGETS)
gift:
	@bash scripts/gift.sh

# What a gift may do to the folder it fills (seconds, nothing built); a gift
# made from the words in examples/, photos of the test's own making and our
# module, and the refusals (about two minutes); two gifts made at once.
gift-check:
	@bash scripts/setup.sh --tests
	@bash scripts/build.sh default velmor-capture artwork_tests
	bash tests/gift/out_safety.sh
	bash tests/gift/gift_check.sh
	bash tests/gift/two_gifts.sh

# A contact sheet of all 45 pictures with their names, for looking at them at once.
artwork-sheet: build
	bash tools/artwork/contact_sheet.sh docs/artwork_sheet.png

# The live intro in Xvfb, photographed at three moments (about 3 minutes).
screenshots: build
	@bash scripts/setup.sh --tests
	bash tools/screenshots.sh

# The same three moments rendered exactly by the capture tool (a few minutes).
stills: build
	./$(BUILD)/velmor-capture --fps 30 --still 6.6 docs/still_text_card.png
	./$(BUILD)/velmor-capture --fps 30 --still 33.6 docs/still_picture_card.png
	./$(BUILD)/velmor-capture --fps 30 --still 181 docs/still_last_card.png

# Start-up, frames, audio, capture and memory against floors measured in the
# same run (about 2 minutes): docs/PERFORMANCE.md and build/bench.json. The
# intro's memory is measured under Xvfb, which --tests installs.
bench:
	@bash scripts/setup.sh --tests
	@bash scripts/build.sh default velmor-bench
	./$(BUILD)/bench/velmor-bench --json $(BUILD)/bench.json --markdown docs/PERFORMANCE.md

# The music rendered offline: docs/module_report.txt and docs/module_sonogram.png.
.PHONY: module-report soak
module-report: build
	@bash scripts/setup.sh --tests
	bash tools/module/report.sh docs

# Long runs of the sanitiser build of the intro in Xvfb, watching its resident
# size: the whole show, then twenty full-screen toggles (about 5 minutes).
soak: sanitize
	bash tools/soak.sh $(SANITIZE_BUILD)/velmor
