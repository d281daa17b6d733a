# Shared by the scripts: installs the Debian packages that a fresh machine lacks.
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

zyr_jobs() { nproc 2>/dev/null || echo 2; }
