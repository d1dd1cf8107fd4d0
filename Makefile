# Thin wrappers over the CMake presets. `make test` and `make run` set up a fresh Debian
# machine first (tools/bootstrap installs what is missing).
.PHONY: all bootstrap native win32 test test-native test-win32 run dist screenshots bench fuzz mutants format clean

all: native win32

bootstrap:
	@tools/bootstrap

native: bootstrap
	cmake --preset native >/dev/null
	cmake --build --preset native

win32: bootstrap
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

test: test-native test-win32

test-native: native
	ctest --preset native

test-win32: win32
	tools/wine-session ctest --preset win32

# Only what it runs: the program, the control and the session that drives them.
run: bootstrap
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 --target norvane tessaly quellix_session
	tools/run

# build/win32/dist: QuellixSetup.exe and Quellix-<version>.zip of the plain files.
dist: win32
	cmake --build --preset win32 --target dist
	@ls -l build/win32/dist | awk 'NR > 1 {print $$9 ": " $$5 " bytes"}'

# build/win32/screenshots: the main window and the pop-up log at 100 % and 150 % scaling,
# under Wine.
screenshots: win32
	tools/screenshot --dpi 96 build/win32/screenshots/main-96.png
	tools/screenshot --dpi 144 build/win32/screenshots/main-144.png
	tools/screenshot --dpi 96 --window log build/win32/screenshots/log-96.png
	tools/screenshot --dpi 144 --window log build/win32/screenshots/log-144.png

bench: bootstrap win32
	cmake --preset bench >/dev/null
	cmake --build --preset bench --target blocker_bench
	build/bench/tests/bench/blocker_bench
	tools/wine-session tools/wine-run build/win32/tests/bench/monitor_bench.exe
	tools/wine-session tools/wine-run build/win32/tests/bench/program_bench.exe $${IDLE_SECONDS:-60}
	@ls -l build/win32/bin/norvane.exe build/win32/bin/tessaly.ocx | awk '{print $$9 ": " $$5 " bytes"}'

fuzz: native
	build/native/tests/fuzz/allow_list_fuzz -max_total_time=$${FUZZ_SECONDS:-60} -max_len=65536 \
	  -rss_limit_mb=1024 -timeout=10 -artifact_prefix=build/native/tests/fuzz/ \
	  build/native/tests/fuzz/corpus tests/fuzz/corpus
	build/native/tests/fuzz/web_address_fuzz -max_total_time=$${FUZZ_SECONDS:-60} -max_len=4096 -timeout=10 \
	  -artifact_prefix=build/native/tests/fuzz/ build/native/tests/fuzz/address-corpus tests/fuzz/addresses

# How many of the plausible faults in tools/mutants.txt the native tests catch.
mutants: native
	tools/mutants

# Formats every C++ file as .clang-format says (CI checks it with tools/check-format).
format:
	tools/check-format --fix

clean:
	rm -rf build
