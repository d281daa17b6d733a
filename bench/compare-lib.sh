# Shared by the compare scripts beside it. Source it from the repository's root before anything
# else, and read the arguments with zyr_arguments (scripts/lib.sh) at once: -h and --help print
# the usage from the script's header, an option it does not take is refused. The functions below
# use `work` (a scratch directory) and `runs` (the counted runs of each command), set later.
ZYR_SCRIPT=bench/${0##*/}
. scripts/lib.sh

# One command: "seconds kilobytes cpu" of one run (wall time, peak memory and user plus system
# seconds from /usr/bin/time -v; for a command that starts others, the larger of its own peak and
# its children's, and the processor time of both); the command's output stays in $work/out.
measure() {
  /usr/bin/time -v -o "$work/time" "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; return 1; }
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i] }
    /Maximum resident set size/ { kb = $2 }
    /User time \(seconds\)|System time \(seconds\)/ { cpu += $2 }
    END { printf "%.3f %d %.3f\n", s, kb, cpu }' "$work/time"
}

# The median of the numbers on standard input, one per line.
median() {
  sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Median seconds, the largest peak and the median processor seconds of `runs` runs, after one
# untimed run (page cache).
timed() {
  local i
  "$@" >/dev/null 2>&1 || true
  for ((i = 0; i < runs; i++)); do measure "$@"; done >"$work/runs"
  printf '%s %d %s\n' "$(cut -d' ' -f1 "$work/runs" | median)" \
    "$(cut -d' ' -f2 "$work/runs" | sort -n | tail -n 1)" "$(cut -d' ' -f3 "$work/runs" | median)"
}

# The Debian python, which has the Debian meshio, whatever python3 comes first on the PATH.
python=/usr/bin/python3

# meshio's counts of a mesh file: nodes, volume elements, boundary faces (the last line).
meshio_counts='
import sys, meshio
m = meshio.read(sys.argv[1])
volume = sum(len(c.data) for c in m.cells if c.type in ("tetra", "pyramid", "wedge", "hexahedron"))
faces = sum(len(c.data) for c in m.cells if c.type in ("triangle", "quad"))
print(len(m.points), volume, faces)'

# gmsh's counts from $work/out after `gmsh -0`: nodes and all elements together.
gmsh_counts() {
  awk '/Info *: [0-9]+ nodes/ { n = $3 } /Info *: [0-9]+ elements/ { e = $3 } END { print n, e }' "$work/out"
}

# Installs the named baselines (gmsh, time, python3-meshio) as Debian packages when missing (as
# root); else says what to install and fails.
need_baselines() {
  local missing=() p
  for p in "$@"; do
    case $p in
      gmsh) command -v gmsh >/dev/null || missing+=(gmsh) ;;
      time) [ -x /usr/bin/time ] || missing+=(time) ;;
      python3-meshio) "$python" -c 'import meshio' 2>/dev/null || missing+=(python3-meshio) ;;
    esac
  done
  if ((${#missing[@]})); then
    if [ "$(id -u)" != 0 ]; then
      echo "$(basename "$0"): install ${missing[*]} (apt-get install ${missing[*]})" >&2
      exit 2
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# A binary MSH 4.1 mesh of a unit cube of about N tetrahedra made by gmsh from GEO into FILE.
make_mesh() { # GEO N FILE
  local h
  h=$("$python" -c "print((4.8/$2)**(1/3))") # the cube of edge h holds about 4.8 / h^3 tetrahedra
  gmsh -3 -format msh41 -bin -setnumber Mesh.CharacteristicLengthMax "$h" "$1" -o "$3" >/dev/null
  rm -f ./*.geo_unrolled
}
