# make run      installs what is missing, builds, and starts tidwen
# make test     installs what is missing, builds, and runs every test headless
# make package  builds the Debian package tidwen_<version>_<arch>.deb in $(BUILD)
# make bench    builds and runs the benchmarks
# make fuzz     builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS
# make windows-test  cross-builds for Windows with mingw-w64 and runs its tests under Wine
# make bench-windows  the Windows build's scan under Wine against Wine's cmd /c dir /s /b
# make tsan     builds without the windows under ThreadSanitizer and runs the tests
# make lint     checks the format of every C++ file and runs clang-tidy over src/
# make windows  builds dist/windows/: the programs, the zip, the installer and
#               the winget manifest; SIGN_CERT=... SIGN_KEY=... signs them
# make windows-download-test  installs, upgrades, signs and checks the download
# make reproducible-test  builds the downloads twice, in two folders, and compares
BUILD ?= build
SANITIZE_BUILD ?= build-asan
JOBS ?= $(shell nproc)
# Any sanitizer report ends the test that made it, so the run fails.
SANITIZER_ENV = ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all setup test-setup configure build run test package sanitize-build sanitize-test bench \
	fuzz clean windows-test windows windows-screenshots tsan lint bench-windows \
	windows-download-test reproducible-test

all: build

setup:
	@scripts/setup.sh

# ccache, where installed, keeps rebuilds of the three build trees short.
CCACHE := $(shell command -v ccache 2>/dev/null)
LAUNCHER = $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
# The builds that `make test` runs fail on a warning in src/.
WERROR = -DTIDWEN_WERROR=ON
# The time every tool writes into what it makes: the last commit's, so that
# two builds of one commit are the same bytes (see cmake/Reproducible.cmake).
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
export SOURCE_DATE_EPOCH

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_EXPORT_COMPILE_COMMANDS=ON $(LAUNCHER) $(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the program: the tests and benchmarks wait for `make test`.
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tidwen
	$(BUILD)/src/frontend/qt/tidwen

# CPack's DEB generator, from the install rules of cmake/Packaging.cmake,
# after building what the package holds and nothing else.
package: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tidwen_package_contents
	cd $(BUILD) && cpack -G DEB

# The test suite in stages, stopping at the first that fails: the build as
# made for use and its ctest; with AddressSanitizer and
# UndefinedBehaviorSanitizer; cross-built for Windows and run under Wine;
# every fuzz target built and run for TEST_FUZZ_SECONDS, so that none can
# break unseen; the Windows download installed under Wine; and the downloads
# built twice and compared. Its set-up installs clang and libFuzzer's
# runtime too.
TEST_FUZZ_SECONDS ?= 5
test: test-setup build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory sanitize-test
	@$(MAKE) --no-print-directory windows-test
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(TEST_FUZZ_SECONDS)
	@$(MAKE) --no-print-directory windows-download-test
	@$(MAKE) --no-print-directory reproducible-test

test-setup:
	@scripts/setup.sh clang libclang-rt-14-dev

sanitize-test: sanitize-build
	cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen $(SANITIZER_ENV) \
		ctest --output-on-failure -j $(JOBS)

sanitize-build: setup
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTIDWEN_SANITIZE=ON \
		-DTIDWEN_BUILD_BENCH=OFF $(LAUNCHER) $(WERROR) >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)

# The headless benchmark, then the same scan, select-all and deletion through
# the real window on Qt's offscreen platform, on a million files by default
# (generating that tree takes minutes). Options go through BENCH_ARGS and
# WINDOW_BENCH_ARGS, e.g. WINDOW_BENCH_ARGS="--files 100000 --dirs 10000".
bench: build
	@status=0; \
	$(BUILD)/bench/tidwen-bench $(BENCH_ARGS) || status=1; \
	if [ -x $(BUILD)/bench/window/tidwen-window-bench ]; then \
		echo; $(BUILD)/bench/window/tidwen-window-bench $(WINDOW_BENCH_ARGS) || status=1; \
	else \
		echo "window benchmark skipped: built without the windows (TIDWEN_BUILD_UI=OFF)"; \
	fi; \
	exit $$status

# The format of .clang-format over every C++ file, then the checks of
# .clang-tidy over the sources of the Linux build (the Qt front end included),
# from its compile_commands.json, and over the Win32 front end and the
# Windows platform from the cross build's, which clang-tidy reads as mingw-w64
# code. Reformat with clang-format -i FILE...
LINT_FILES = $(shell find src tests bench fuzz -name '*.cpp' -o -name '*.h' | sort)
LINT_WINDOWS = '^$(CURDIR)/src/(frontend/win32|frontend/cli|platform/windows)/'
# clang does not find the C++ headers of Debian's mingw-w64 by itself.
MINGW_SEARCH = $(shell echo | x86_64-w64-mingw32-g++-posix -E -x c++ -v - 2>&1 | \
	sed -n '/search starts here:/,/End of search list/p' | grep -E '^ .*(c\+\+|/x86_64-w64-mingw32/include)')
lint: configure
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(LAUNCHER) $(WERROR) >/dev/null
	@status=0; \
	clang-format --dry-run -Werror $(LINT_FILES) || status=1; \
	run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) '^$(CURDIR)/src/' >$(BUILD)/clang-tidy.log 2>&1 || \
		{ grep -E -A3 'warning:|error:' $(BUILD)/clang-tidy.log; status=1; }; \
	run-clang-tidy -quiet -p $(WINDOWS_BUILD) -j $(JOBS) \
		$(addprefix -extra-arg=-isystem,$(MINGW_SEARCH)) $(LINT_WINDOWS) \
		>$(WINDOWS_BUILD)/clang-tidy.log 2>&1 || \
		{ grep -E -A3 'warning:|error:' $(WINDOWS_BUILD)/clang-tidy.log; status=1; }; \
	if [ $$status = 0 ]; then echo "lint: no findings"; fi; \
	exit $$status

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh $(FUZZ_BUILD)

# The Windows build: the core, the Windows platform and their tests, made
# with mingw-w64 and run under Wine in a prefix of the build tree's own,
# which the build makes on its first run (about 10 s).
WINDOWS_BUILD ?= build-windows
# Options go through WINDOWS_BENCH_ARGS, e.g. "--files 50000 --dirs 5000".
bench-windows: setup
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(LAUNCHER) $(WERROR) >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target tidwen-bench
	scripts/bench-windows.py $(WINDOWS_BUILD) $(WINDOWS_BENCH_ARGS)

windows-test: setup
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(LAUNCHER) $(WERROR) >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	cd $(WINDOWS_BUILD) && ctest --output-on-failure -j $(JOBS)

# The scan reads ahead on threads: the core's tests once more under
# ThreadSanitizer. The Qt windows are left out, since Qt itself is not built
# for it.
TSAN_BUILD ?= build-tsan
tsan: setup
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDWEN_TSAN=ON \
		-DTIDWEN_BUILD_UI=OFF -DTIDWEN_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
		ctest --output-on-failure -j $(JOBS)

# The Windows download for 64-bit Windows 10 and 11, in $(WINDOWS_DIST): the
# programs, each one file with the C++ runtime linked in, needing only the
# system's own DLLs; a zip of them with the read-me; the per-user installer
# tidwen-<version>.msi; and the winget manifest for it. With SIGN_CERT and
# SIGN_KEY (PEM files; SIGN_TIMESTAMP a timestamp server's URL) the programs
# and the installer are signed.
WINDOWS_DIST ?= dist/windows
# The one version number, from CMakeLists.txt.
VERSION := $(shell sed -n 's/^project.Tidwen VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
WINDOWS_ZIP = tidwen-$(VERSION)-windows-x64.zip
WINDOWS_MSI = tidwen-$(VERSION).msi
# The programs of the download, as built in $(WINDOWS_BUILD), the window
# program first: each is stripped, signed, put into the zip and the
# installer, and checked by the download's tests. This is the one list.
WINDOWS_PROGRAMS = src/frontend/win32/tidwen.exe src/frontend/cli/tidwen-cli.exe
WINDOWS_EXES = $(addprefix $(WINDOWS_DIST)/,$(notdir $(WINDOWS_PROGRAMS)))
WINDOWS_SIGN = $(if $(SIGN_KEY),cmake/windows-sign.sh "$(SIGN_CERT)" "$(SIGN_KEY)" "$(SIGN_TIMESTAMP)",@:)
windows: setup
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(LAUNCHER) $(WERROR) >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target $(basename $(notdir $(WINDOWS_PROGRAMS)))
	@mkdir -p $(WINDOWS_DIST)
	$(foreach p,$(WINDOWS_PROGRAMS),x86_64-w64-mingw32-strip -o $(WINDOWS_DIST)/$(notdir $(p)) $(WINDOWS_BUILD)/$(p) && ) true
	sed 's/@VERSION@/$(VERSION)/g; s/$$/\r/' packaging/windows/README.txt >$(WINDOWS_DIST)/说明.txt
	@$(if $(SIGN_KEY),,echo "windows: no SIGN_KEY given, so nothing is signed")
	$(WINDOWS_SIGN) $(WINDOWS_EXES)
	cmake/windows-zip.py $(WINDOWS_DIST)/$(WINDOWS_ZIP) $(WINDOWS_EXES) $(WINDOWS_DIST)/说明.txt
	cmake/windows-msi.py $(WINDOWS_DIST)/$(WINDOWS_MSI) $(VERSION) src/resources/tidwen.ico $(WINDOWS_EXES)
	$(WINDOWS_SIGN) $(WINDOWS_DIST)/$(WINDOWS_MSI)
	cmake/winget-manifest.py $(WINDOWS_DIST)/winget $(VERSION) $(WINDOWS_DIST)/$(WINDOWS_MSI)
	@ls -l $(WINDOWS_DIST)

# The download as a user gets it, under Wine in a prefix of its own in the
# build tree ($(WINDOWS_BUILD)/download-test): the installer installs,
# starts, upgrades and uninstalls; a throwaway certificate signs; and the
# zip, the winget manifest, the programs' resources and the README's
# figures are checked.
windows-download-test: windows
	tests/packaging/windows_download_test.sh $(WINDOWS_BUILD) $(WINDOWS_DIST) $(VERSION) \
		$(notdir $(WINDOWS_PROGRAMS))

# The Debian package and the Windows download built twice from this tree,
# copied into two folders, without ccache, and compared byte for byte.
reproducible-test: setup
	tests/packaging/reproducible_test.sh $(CURDIR) $(WINDOWS_BUILD)/reproducible \
		$(notdir $(WINDOWS_PROGRAMS))

# Pictures of the Win32 windows for docs/, taken under Wine on a virtual
# display (needs ImageMagick's convert).
windows-screenshots: setup
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(LAUNCHER) $(WERROR) >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target tidwen-screenshots
	cmake/windows-screenshots.sh $(WINDOWS_BUILD) docs

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(WINDOWS_BUILD) $(TSAN_BUILD) dist
