# The project's two commands (`make test`, `make demo`) and their parts.
# Everything is built with CMake presets into build/<preset>/.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
KVP := build/native/bin/kvp

.PHONY: all deps build native win32 asan tsan web test test-native test-win32 test-asan test-tsan demo bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)

# The core in WebAssembly with the page script and the About box's picture, into build/web/
# (Debian's emscripten; its em++ needs Node's modules from /usr/share/nodejs).
web: deps
	NODE_PATH=/usr/share/nodejs cmake --preset web >/dev/null
	NODE_PATH=/usr/share/nodejs cmake --build --preset web -j $(JOBS)
	cp web/kestrelvue.js resources/qorvane.bmp build/web/

# Both targets, no tests.
build: native win32

test-native: native
	bash scripts/run-tests.sh native

test-win32: win32
	bash scripts/run-tests.sh win32

test-asan: asan
	bash scripts/run-tests.sh asan

test-tsan: tsan
	bash scripts/run-tests.sh tsan

# Builds and runs everything: native tests, the Windows tests under Wine, the sanitizer builds;
# then one line with the total.
test: deps
	@bash scripts/run-all-tests.sh

# Speed figures with their in-run baselines; they print, they never fail.
bench: native win32
	build/native/bin/kvp_bench --benchmark_min_time=0.2
	build/native/bin/kvp_frame_bench --benchmark_min_time=0.5
	scripts/wine-run.sh --prefix build/win32/wineprefix build/win32/bin/kvp_plugin_figures.exe
	# The built-in decoders: one 2048x1024 frame per codec, natively and under Wine; their size.
	bash scripts/make-bench-frames.sh
	build/native/bin/kvp_codec_bench build/bench/codec-2048-cvid.pan build/bench/codec-2048-MSVC.pan
	scripts/wine-run.sh --prefix build/win32/wineprefix build/win32/bin/kvp_codec_bench.exe \
	  build/bench/codec-2048-cvid.pan build/bench/codec-2048-MSVC.pan
	size build/native/CMakeFiles/kvp_platform.dir/platform/common/avcodec/avcodec_decoder.cpp.o \
	  build/win32/CMakeFiles/kvp_platform.dir/platform/common/avcodec/avcodec_decoder.cpp.obj
	bash scripts/web-bench.sh

# The fuzz targets under libFuzzer (clang), FUZZ_SECONDS each (default 180); `make test` replays
# their saved inputs in the asan build.
fuzz:
	@bash scripts/fuzz.sh

demo: native win32
	@bash scripts/demo.sh
	@bash scripts/demo-host.sh

clean:
	rm -rf build
