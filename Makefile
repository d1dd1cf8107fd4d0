# Thin wrappers over the CMake presets. `make test` and `make run` set up a fresh Debian
# machine first (tools/bootstrap installs what is missing).
.PHONY: all bootstrap native win32 test test-native test-win32 run bench fuzz clean

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

run: win32
	@echo "norvane.exe is not built yet: 'make run' will start it under Wine."

bench: bootstrap win32
	cmake --preset bench >/dev/null
	cmake --build --preset bench --target blocker_bench
	build/bench/tests/bench/blocker_bench
	tools/wine-session tools/wine-run build/win32/tests/bench/monitor_bench.exe

fuzz: native
	build/native/tests/fuzz/allow_list_fuzz -max_total_time=$${FUZZ_SECONDS:-60} -max_len=65536 \
	  -rss_limit_mb=1024 -timeout=10 -artifact_prefix=build/native/tests/fuzz/ \
	  build/native/tests/fuzz/corpus tests/fuzz/corpus

clean:
	rm -rf build
