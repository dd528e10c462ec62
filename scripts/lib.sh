# Shared by the scripts: install Debian packages that are missing (as root directly, through
# sudo otherwise) and configure/build one build folder.

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# install_packages PKG...: installs those of the packages that are not installed yet.
install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! as_root apt-get install -y --no-install-recommends "${missing[@]}"; then
    as_root apt-get update -q
    as_root apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# What building the program and its tests needs on Debian 12.
BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-dejavu-core xvfb xauth dpkg-dev desktop-file-utils)

# build_tree DIR [CMAKE ARGS...]: configures and builds the project into DIR.
build_tree() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j2
}
