# Shared by the scripts: reads a script's arguments, installs the Debian packages that a fresh
# machine lacks, configures a preset, lists the skips of the whole test runs. The scripts source it
# from the repository's root; so do the benchmark scripts in bench/ (through bench/compare-lib.sh),
# for their arguments.

# The script as named from the repository's root: ZYR_SCRIPT where a script outside scripts/ sets
# it, else scripts/NAME.
zyr_script() { echo "${ZYR_SCRIPT:-scripts/${0##*/}}"; }

# The script's usage: a synopsis, then its header (the comment after the first line), which says
# what it does, its arguments and the environment variables it reads.
zyr_usage() {
  local script
  script=$(zyr_script)
  echo "usage: $script${ZYR_SYNOPSIS:+ $ZYR_SYNOPSIS}"
  echo "       $script -h | --help"
  echo
  awk 'NR > 1 { if (!/^#/) exit; sub(/^# ?/, ""); print }' "$script"
}

# Reads the script's arguments before it does anything: -h or --help prints the usage on the
# standard output and exits 0; an option that the script does not take, or more operands than it
# takes, prints the usage on the standard error and exits 2, building and installing nothing.
# "--" ends the options (for an operand that begins with "-"). What is left, the options taken
# and the operands in their order, is in ZYR_ARGS.
#   zyr_arguments SYNOPSIS MAX_OPERANDS "OPTION ..." "$@"
zyr_arguments() {
  ZYR_SYNOPSIS=$1
  local most=$2 options=" $3 " operands=0 ending=0 arg
  shift 3
  ZYR_ARGS=()
  for arg in "$@"; do
    if [ $ending -eq 0 ]; then
      case $arg in
        -h | --help) zyr_usage; exit 0 ;;
        --) ending=1; continue ;;
        -?*)
          case $options in *" $arg "*) ZYR_ARGS+=("$arg"); continue ;; esac
          echo "$(zyr_script): unknown option $arg" >&2
          zyr_usage >&2
          exit 2
          ;;
      esac
    fi
    operands=$((operands + 1))
    if [ $operands -gt "$most" ]; then
      echo "$(zyr_script): unexpected argument $arg" >&2
      zyr_usage >&2
      exit 2
    fi
    ZYR_ARGS+=("$arg")
  done
}

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

# The tests that skipped in the whole runs of the test executables (scripts/test), each once, with
# the first pass's reason: a skip is never silent. DIR holds a directory for each run of an
# executable, named after it (and "@<shard>" when it ran a share of its tests), with its GoogleTest
# output in "log"; GoogleTest writes the reason after "<file>:<line>: Skipped", then
# "[  SKIPPED ] <test> (<n> ms)".
#   zyr_whole_skips DIR
zyr_whole_skips() {
  local dir=$1 log run skipped count
  skipped=$(for log in "$dir"/*/log; do
    [ -f "$log" ] || continue
    run=$(basename "$(dirname "$log")")
    awk -v binary="${run%@*}" '
      /: Skipped$/ { reason = ""; taking = 1; next }
      /^\[  SKIPPED \] .* \([0-9]+ ms\)$/ {
        sub(/^\[  SKIPPED \] /, ""); sub(/ \([0-9]+ ms\)$/, "")
        if (!seen[$0]++) print "  " binary ": " $0 (reason != "" ? ": " reason : "")
        taking = 0; next
      }
      taking && NF { reason = reason (reason == "" ? "" : " ") $0 }' "$log"
  done | sort)
  if [ -n "$skipped" ]; then
    count=$(echo "$skipped" | wc -l)
    echo "skipped when run whole ($count test$([ "$count" -eq 1 ] || echo s)):"
    echo "$skipped"
  else
    echo "no test skipped when run whole"
  fi
}
