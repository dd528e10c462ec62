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

# What building and running the programs needs on Debian 12.
PROGRAM_PACKAGES=(cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-dejavu-core)
# What building them and running the tests needs: a virtual display for the window tests, the
# package tools for the .deb and its desktop entry, and lintian (with man-db), which checks the
# .deb and its manual pages.
BUILD_PACKAGES=("${PROGRAM_PACKAGES[@]}" xvfb xauth dpkg-dev desktop-file-utils lintian man-db)

# configure_tree DIR [CMAKE ARGS...]: configures the project in DIR.
configure_tree() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}

# build_tree DIR [CMAKE ARGS...]: configures and builds the whole project, tests included, in DIR.
build_tree() {
  configure_tree "$@" && cmake --build "$1" -j2
}

# build_targets DIR TARGET...: configures DIR and builds only the targets named and what they
# need.
build_targets() {
  local dir=$1; shift
  configure_tree "$dir" && cmake --build "$dir" -j2 --target "$@"
}
