# Shared by the scripts: installs the Debian packages that a fresh machine lacks, configures a
# preset.
ZYR_PACKAGES="cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev pkg-config"

zyr_install_packages() {
  local missing=()
  for p in $ZYR_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root, or install them)" >&2
    return 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Parallel build jobs: ZYR_JOBS, else every core.
zyr_jobs() { echo "${ZYR_JOBS:-$(nproc 2>/dev/null || echo 2)}"; }

# Configures a preset's build directory when it has not been (or CMakePresets.json changed since);
# after that the build re-runs CMake by itself when a CMakeLists.txt changes. Configuring on every
# run would take a new build stamp each minute and so relink everything.
zyr_configure() {
  local dir=build/$1
  if [ -f "$dir/build.ninja" ] && [ "$dir/CMakeCache.txt" -nt CMakePresets.json ]; then
    return 0
  fi
  cmake --preset "$1"
}
