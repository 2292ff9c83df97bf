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

# The example phrase through program 0 and three contrasting programs, spectrograms of the input
# and of program 0, and the editor's picture.
DEMO_PROGRAMS = 0:many-monks 2:stadium-chant 5:bodiless-robot 17:mouse-delirium

demo: build
	@mkdir -p out
	@for entry in $(DEMO_PROGRAMS); do \
	  n=$${entry%%:*}; name=$${entry#*:}; \
	  $(BUILD)/zornbeck render examples/phrase.wav out/phrase-$$name.wav --program $$n || exit 1; \
	done
	sox -V1 examples/phrase.wav -n spectrogram -x 800 -y 257 -t "examples/phrase.wav (input)" -o out/spectrogram-input.png
	sox -V1 out/phrase-many-monks.wav -n spectrogram -x 800 -y 257 -t "Many Monks (program 0)" -o out/spectrogram-many-monks.png
	$(BUILD)/zornbeck screenshot out/editor.png --program 0
	@echo "Wrote out/: phrase-*.wav, spectrogram-*.png, editor.png"

bench: build
	$(BUILD)/zornbeck bench

clean:
	rm -rf $(BUILD) out
