# Shared by the benchmark scripts (sourced, with ROOT set and the current folder ROOT).

say() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }

# Configures both builds when needed and builds the host scrpack and the given Windows
# targets.
build_for_bench() {
  [ -f build/host/CMakeCache.txt ] || cmake -S . -B build/host -G Ninja >/dev/null
  [ -f build/win/CMakeCache.txt ] ||
    cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build build/host -j2 --target scrpack >/dev/null
  cmake --build build/win -j2 --target "$@" >/dev/null
}
