# Installs the Debian packages named, when any is missing. Quiet when all are
# there; names what is missing when it cannot install (not root).
ensure_packages() {
  missing=""
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "Missing Debian packages:$missing" >&2
    echo "Install them as root: apt-get install$missing" >&2
    return 1
  fi
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -qq >/dev/null &&
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends $missing >/dev/null ||
    { echo "Could not install:$missing" >&2; return 1; }
}

# What building and testing the native library needs.
NATIVE_PACKAGES="build-essential cmake pkg-config libsdl1.2-dev libgtk2.0-dev \
libgtest-dev libgmock-dev xvfb xauth binutils"
