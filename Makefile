# Front door: `make demo`, `make test`. CMake does the building.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

DEB_PACKAGES = build-essential cmake ninja-build pkg-config git libgtest-dev libgmock-dev \
  libbenchmark-dev libsndfile1-dev libpng-dev zlib1g-dev libcairo2-dev libfreetype-dev \
  libx11-dev libxtst-dev fonts-liberation2 espeak-ng sox xvfb xauth xdotool

.PHONY: all deps build test demo bench clean

all: build

# Installs the Debian packages that are missing; needs root only when something is missing.
deps:
	@missing=$$(for p in $(DEB_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  if [ "$$(id -u)" != 0 ]; then echo "make deps: run as root to install: $$missing" >&2; exit 1; fi; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

demo: build
	@mkdir -p out
	$(BUILD)/zornbeck render examples/phrase.wav out/phrase-program0.wav --program 0
	@echo "Wrote out/phrase-program0.wav"

bench: build
	$(BUILD)/zornbeck bench

clean:
	rm -rf $(BUILD) out
