# The two commands people use, over CMake. Each installs what is missing first.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build run test clean artwork-sheet

all: build

build:
	@bash scripts/setup.sh
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@bash scripts/run.sh

test:
	@bash scripts/setup.sh --tests
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure

clean:
	rm -rf $(BUILD)

# A contact sheet of all 45 pictures with their names, for looking at them at once.
artwork-sheet: build
	bash tools/artwork/contact_sheet.sh docs/artwork_sheet.png
