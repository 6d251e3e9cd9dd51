# Shared by scripts/demo and scripts/test: step reporting, package install, builds.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

step() { printf '==> %s\n' "$*"; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

PACKAGES=(
  build-essential cmake pkg-config
  libopencv-dev libfreetype-dev libfontconfig-dev libcli11-dev libyaml-cpp-dev
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-dev
  libavformat-dev libavcodec-dev libavutil-dev libjpeg-dev
  libmosquitto-dev mosquitto mosquitto-clients
  fonts-wqy-zenhei ffmpeg xvfb x11-utils time
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    step "packages: all present"
    return
  fi
  # apt's progress goes to a log; the terminal gets one line per step.
  local log="$ROOT/build/setup.log"
  mkdir -p "$ROOT/build"
  : >"$log"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  step "packages: updating the package lists (details in build/setup.log)"
  "${sudo[@]}" apt-get update >>"$log" 2>&1 || { tail -n 20 "$log" >&2; die "apt-get update failed; see $log"; }
  step "packages: installing ${#missing[@]}: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}" >>"$log" 2>&1 \
    || { tail -n 20 "$log" >&2; die "apt-get install failed; see $log"; }
  step "packages: done"
}

# build DIR BUILD_TYPE [extra cmake args...]
build() {
  local dir="$1" type="$2"
  shift 2
  step "build: $type in ${dir#"$ROOT"/}"
  mkdir -p "$dir"
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >"$dir/cmake-configure.log" 2>&1 \
    || { cat "$dir/cmake-configure.log" >&2; die "cmake configure failed"; }
  cmake --build "$dir" -j "$JOBS" || die "build failed in $dir"
}

# The default video: the pedestrian clip Debian's opencv-doc ships, scaled to 1920x1080 H.264.
prepare_video() {
  local target="$ROOT/data/test1.mp4"
  if [ -s "$target" ]; then
    step "video: data/test1.mp4 present"
    return
  fi
  step "video: extracting vtest.avi from opencv-doc and transcoding to 1920x1080 H.264"
  local tmp
  tmp="$(mktemp -d)"
  (cd "$tmp" && apt-get download opencv-doc >/dev/null 2>&1) || { rm -rf "$tmp"; die "apt-get download opencv-doc failed"; }
  dpkg-deb --fsys-tarfile "$tmp"/opencv-doc_*.deb \
    | tar -x -C "$tmp" ./usr/share/doc/opencv-doc/examples/data/vtest.avi \
    || { rm -rf "$tmp"; die "vtest.avi not found in opencv-doc"; }
  mkdir -p "$ROOT/data"
  ffmpeg -v error -y -i "$tmp/usr/share/doc/opencv-doc/examples/data/vtest.avi" \
    -vf scale=1920:1080:flags=bicubic -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p \
    "$target.part.mp4" || { rm -rf "$tmp"; die "ffmpeg transcode failed"; }
  mv "$target.part.mp4" "$target"
  rm -rf "$tmp"
}
