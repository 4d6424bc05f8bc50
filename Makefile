# The two commands of the README: `make run` and `make test` (and `make bench`, `make package`).
BUILD ?= build
SANITIZE ?= 0
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The compiler launcher is given on every configure run. Left to CMake, it comes from the
# environment (CMAKE_<LANG>_COMPILER_LAUNCHER) of whichever run first sees the variable set, so
# a `make package` from a shell with ccache set up after a `make test` from one without changed
# every compile command and rebuilt everything. ccache when installed; COMPILER_LAUNCHER= for none.
COMPILER_LAUNCHER ?= $(if $(shell command -v ccache),ccache)
CMAKE_FLAGS += -DCMAKE_C_COMPILER_LAUNCHER=$(COMPILER_LAUNCHER) -DCMAKE_CXX_COMPILER_LAUNCHER=$(COMPILER_LAUNCHER)
ifeq ($(SANITIZE),1)
BUILD := build-sanitize
CMAKE_FLAGS += -DTIDEMARK_SANITIZE=ON
endif

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
