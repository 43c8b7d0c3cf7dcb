# Sourced by the scripts that build: Debian's compiler and linker flags with
# every hardening feature (PIE, RELRO and BIND_NOW, stack protector,
# FORTIFY_SOURCE), as CMake arguments in the array debian_flags. CMake's own
# flags for the build type come after them. Without -g unless $1 is "debug".
debian_flags=()
if command -v dpkg-buildflags >/dev/null; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  cxxflags=$(dpkg-buildflags --get CXXFLAGS)
  if [ "${1:-}" != debug ]; then cxxflags=$(printf '%s' "$cxxflags" | sed -E 's/(^| )-g( |$)/ /'); fi
  ldflags=$(dpkg-buildflags --get LDFLAGS)
  debian_flags=("-DCMAKE_CXX_FLAGS=$cppflags $cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags")
fi
