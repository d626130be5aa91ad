# Sourced by scripts/run and scripts/test: installs the Debian packages that
# are missing, once, as root directly or through sudo.

# Everything the builds and tests use.
VOMA_PACKAGES=(
  cmake make g++ libgtest-dev
  g++-mingw-w64-x86-64-win32 mingw-w64-x86-64-dev
  wine wine64 xvfb xdotool x11-utils python3 python3-xlib
  clang libclang-rt-14-dev
  pkg-config libsdl2-dev libsdl2-ttf-dev libfontconfig-dev fonts-dejavu-core xfonts-base
)

ensure_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    if [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" != "install ok installed" ]; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then sudo="sudo"; else
      echo "missing packages: ${missing[*]} (run as root or install sudo)" >&2
      return 1
    fi
  fi
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
