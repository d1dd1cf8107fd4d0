# Thin wrappers over the CMake presets. `make test` and `make run` set up a fresh Debian
# machine first (tools/bootstrap installs what is missing).
.PHONY: all bootstrap native win32 win64 windows test test-native test-win32 run dist screenshots bench fuzz mutants format clean

# The Windows side runs under 32-bit Wine; on a machine that runs no 32-bit program at all,
# the same sources are built for 64-bit Windows and run under 64-bit Wine (tools/wine-arch
# tells which, once tools/bootstrap has run). The 32-bit deliverables are built either way.
ARCH = arch=$$(tools/wine-arch) && export QUELLIX_WINE_ARCH=$$arch

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

# The 64-bit build, for testing where no 32-bit program runs.
win64: bootstrap
	cmake --preset win64 >/dev/null
	cmake --build --preset win64

# The build whose programs this machine runs: win32, or win64 (saying so).
windows: win32
	@$(ARCH) && if [ $$arch = win64 ]; then \
	  echo "This machine runs no 32-bit program: the Windows tests run on the 64-bit build of the same sources."; \
	  $(MAKE) --no-print-directory win64; fi

test-win32: windows
	@$(ARCH) && tools/wine-session ctest --preset $$arch

# Only what it runs: the program, the control and the session that drives them.
run: bootstrap
	@$(ARCH) && cmake --preset $$arch >/dev/null && \
	  cmake --build --preset $$arch --target norvane tessaly quellix_session && tools/run

# build/win32/dist: QuellixSetup.exe, Quellix-<version>.msi, Quellix-<version>.zip of the plain
# files, and the administrative templates in policy/.
dist: win32
	cmake --build --preset win32 --target dist
	@ls -l build/win32/dist | awk 'NR > 1 {print $$9 ": " $$5 " bytes"}'

# build/win32/screenshots: the main window, the pop-up log and the notice of a refused pop-up
# at 100 % and 150 % scaling, under Wine.
screenshots: windows
	@$(ARCH) && for window in main log notice; do for dpi in 96 144; do \
	  tools/screenshot --dpi $$dpi --window $$window build/$$arch/screenshots/$$window-$$dpi.png || exit 1; \
	done; done

bench: bootstrap windows
	cmake --preset bench >/dev/null
	cmake --build --preset bench --target blocker_bench
	build/bench/tests/bench/blocker_bench
	@$(ARCH) && tools/wine-session tools/wine-run build/$$arch/tests/bench/monitor_bench.exe && \
	  tools/wine-session tools/wine-run build/$$arch/tests/bench/program_bench.exe $${IDLE_SECONDS:-60}
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
