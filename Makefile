# The two commands of the README: `make run` and `make test` (and `make bench`, `make package`).
BUILD ?= build
SANITIZE ?= 0
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
ifeq ($(SANITIZE),1)
BUILD := build-sanitize
CMAKE_FLAGS += -DTIDEMARK_SANITIZE=ON
endif
# The compiler launcher is given on every configure run, and a build folder keeps the one it
# was first configured with. Left to CMake, it came from the environment
# (CMAKE_<LANG>_COMPILER_LAUNCHER) of whichever run first saw the variable set; chosen anew by
# each run, it changed as soon as ccache was installed between two commands (a newcomer's
# `make test`, then `make bench`), and a changed launcher changes every compile command: the
# second command rebuilt everything. ccache when installed at the first configure;
# COMPILER_LAUNCHER=ccache (or empty, for none) changes it on purpose.
# CCACHE names the program looked for.
CCACHE ?= ccache
cached_launcher = $(shell sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' $(BUILD)/CMakeCache.txt)
COMPILER_LAUNCHER ?= $(if $(wildcard $(BUILD)/CMakeCache.txt),$(cached_launcher),$(if $(shell command -v $(CCACHE)),ccache))
CMAKE_FLAGS += -DCMAKE_C_COMPILER_LAUNCHER=$(COMPILER_LAUNCHER) -DCMAKE_CXX_COMPILER_LAUNCHER=$(COMPILER_LAUNCHER)

.PHONY: all deps build run test bench package format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j2

test: build
	@scripts/test-in-virtualenv.sh $(BUILD) -j2

bench: build
	@scripts/bench.sh $(BUILD)

run: build
	@scripts/run.sh $(BUILD)

# The check against a real Oracle database; the log-on comes from the environment (README).
.PHONY: oracle-check
oracle-check: build
	@$(BUILD)/oraclecheck/oraclecheck

# The .deb and .tar.gz of the installed program, in $(BUILD)/.
package: build
	@cd $(BUILD) && cpack

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-sanitize
