# shellcheck shell=bash
# Shared helpers for scripts/test and scripts/demo. Source it; do not run it.

# Debian 12 packages the build, the tests and the tools need (the one list).
TERN_PACKAGES=(
  build-essential
  cmake
  g++
  g++-multilib
  libfmt-dev
  googletest
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  nlohmann-json3-dev
  valgrind
  clang
  libclang-rt-14-dev
  python3
  dpkg-dev
  file
  man-db
)

TERN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

tern_log() {
  printf '==> %s\n' "$*" >&2
}

tern_is_installed() {
  [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}

# Installs whichever of the packages named (default: TERN_PACKAGES) is missing (apt-get
# update only then).
tern_install_packages() {
  local wanted=("$@") missing=() pkg
  ((${#wanted[@]})) || wanted=("${TERN_PACKAGES[@]}")
  for pkg in "${wanted[@]}"; do
    tern_is_installed "$pkg" || missing+=("$pkg")
  done
  if ((${#missing[@]} == 0)); then
    return 0
  fi
  local sudo=()
  if ((EUID != 0)); then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      tern_log "missing packages (${missing[*]}) and not root; install them and retry"
      return 1
    fi
  fi
  tern_log "installing: ${missing[*]}"
  local apt_opts=(-y -q -o DPkg::Lock::Timeout=900)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_opts[@]}" update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${apt_opts[@]}" install --no-install-recommends "${missing[@]}"
}

# True when this machine executes 32-bit x86 programs: some sandboxed kernels refuse them
# ("Exec format error") although the toolchain builds them.
tern_runs_m32() {
  local dir status=0
  dir=$(mktemp -d)
  printf 'int main(void) { return 0; }\n' > "$dir/probe.c"
  if gcc -m32 "$dir/probe.c" -o "$dir/probe" 2> /dev/null; then
    "$dir/probe" 2> /dev/null || status=1
  else
    status=1
  fi
  rm -rf "$dir"
  return "$status"
}

tern_jobs() {
  if [[ -n "${JOBS:-}" ]]; then
    echo "$JOBS"
  else
    nproc 2>/dev/null || echo 2
  fi
}

# tern_configure_build BUILD_DIR [cmake -D options...] [--target TARGET...]
# Builds the targets named with --target, or every target without one.
tern_configure_build() {
  local dir="$1" opts=() targets=()
  shift
  while (($#)); do
    if [[ "$1" == --target ]]; then
      targets+=(--target "$2")
      shift 2
    else
      opts+=("$1")
      shift
    fi
  done
  cmake -S "$TERN_ROOT" -B "$TERN_ROOT/$dir" "${opts[@]}"
  cmake --build "$TERN_ROOT/$dir" -j "$(tern_jobs)" "${targets[@]}"
}
