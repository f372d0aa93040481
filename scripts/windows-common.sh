# Sourced by the scripts that build, pack and run the Windows programs
# (build-qt-windows, build-windows, check-windows-run, bench): where Qt for
# Windows and libmosquitto for Windows are found, and the Debian packages the
# cross build and Wine need.
#
# Qt for Windows, in this order:
#   1. MATRIX_QT_WINDOWS=PATH: an installed prefix, or a tarball of one (its sum
#      is checked when a SHA256SUMS beside it names it);
#   2. the prefix scripts/build-qt-windows built last (its path is kept in
#      $MATRIX_WIN_CACHE/qt-prefix);
#   3. ../shared/windows/qt-6.4.2-mingw64.tar.xz beside the source tree, checked
#      against its SHA256SUMS.
# Tarballs are unpacked once into $MATRIX_WIN_CACHE (outside the source tree).

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
MATRIX_WIN_CACHE="${MATRIX_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/matrix-controller}/windows"
MATRIX_WIN_SHARED="$root/../shared/windows"
MATRIX_WIN_VERSION="$(sed -n 's/^project(MatrixController VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
MATRIX_WIN_NAME="matrix-controller-$MATRIX_WIN_VERSION-win64"
MOSQUITTO_VERSION=2.0.11

win_sudo() {
  if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

# Installs the Debian packages named that are missing.
win_install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "windows: installing ${missing[*]}"
  win_sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive win_sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# What the cross build needs; Wine, Xvfb, the installer's compiler and the
# tools that drive the window come with win_install_run_deps.
win_install_build_deps() {
  win_install_packages cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    qt6-base-dev qt6-base-dev-tools qt6-websockets-dev dpkg-dev pkgconf xz-utils ccache
}
win_install_run_deps() {
  win_install_build_deps
  win_install_packages wine64 nsis zip unzip xvfb xauth xdotool imagemagick
}

# Checks FILE against the SHA256SUMS in its folder. Returns 2 when no sum names it.
win_check_sum() {
  local file="$1" sums want have
  sums="$(dirname "$file")/SHA256SUMS"
  want="$(awk -v f="$(basename "$file")" '$2 == f || $2 == "*" f { print $1 }' "$sums" 2>/dev/null)"
  [ -n "$want" ] || return 2
  have="$(sha256sum "$file" | cut -d' ' -f1)"
  if [ "$want" != "$have" ]; then
    echo "windows: $file does not match its SHA256SUMS (wanted $want, got $have)" >&2
    return 1
  fi
}

# Unpacks a tarball of a Qt prefix once into the cache; prints the prefix.
win_unpack_qt() {
  local tarball="$1" sum dir top
  sum="$(sha256sum "$tarball" | cut -d' ' -f1)"
  dir="$MATRIX_WIN_CACHE/qt-${sum:0:16}"
  if [ ! -f "$dir/.unpacked" ]; then
    echo "windows: unpacking $tarball into $dir" >&2
    rm -rf "$dir" && mkdir -p "$dir"
    tar -xf "$tarball" -C "$dir"
    touch "$dir/.unpacked"
  fi
  top="$(dirname "$(find "$dir" -maxdepth 5 -path '*/lib/cmake/Qt6/qt.toolchain.cmake' | head -1)")"
  [ -n "$top" ] || { echo "windows: no Qt prefix in $tarball" >&2; return 1; }
  (cd "$top/../../.." && pwd)
}

win_is_qt_prefix() {
  [ -f "$1/lib/cmake/Qt6/qt.toolchain.cmake" ] && [ -f "$1/bin/Qt6Core.dll" ]
}

# Sets QT_WIN to the Qt for Windows prefix, or returns 1 after saying once
# that the Windows steps are skipped (the caller then exits 0).
win_find_qt() {
  local what="$1" kept tarball rc
  if [ -n "${MATRIX_QT_WINDOWS:-}" ]; then
    if [ -d "$MATRIX_QT_WINDOWS" ]; then
      win_is_qt_prefix "$MATRIX_QT_WINDOWS" || {
        echo "$what: MATRIX_QT_WINDOWS=$MATRIX_QT_WINDOWS is not a Qt for Windows prefix" >&2; exit 1; }
      QT_WIN="$(cd "$MATRIX_QT_WINDOWS" && pwd)"
    elif [ -f "$MATRIX_QT_WINDOWS" ]; then
      win_check_sum "$MATRIX_QT_WINDOWS" && rc=0 || rc=$?
      [ "$rc" -eq 1 ] && exit 1
      QT_WIN="$(win_unpack_qt "$MATRIX_QT_WINDOWS")"
    else
      echo "$what: MATRIX_QT_WINDOWS=$MATRIX_QT_WINDOWS does not exist" >&2
      exit 1
    fi
    return 0
  fi
  kept="$(cat "$MATRIX_WIN_CACHE/qt-prefix" 2>/dev/null || true)"
  if [ -n "$kept" ] && win_is_qt_prefix "$kept"; then
    QT_WIN="$kept"
    return 0
  fi
  tarball="$MATRIX_WIN_SHARED/qt-6.4.2-mingw64.tar.xz"
  if [ -f "$tarball" ]; then
    win_check_sum "$tarball" || exit 1
    QT_WIN="$(win_unpack_qt "$tarball")"
    return 0
  fi
  echo "$what: skipped, no Qt for Windows here. To include the Windows build and its run under" \
    "Wine: set MATRIX_QT_WINDOWS to a Qt 6.4.2 MinGW-w64 prefix or its tarball, put" \
    "qt-6.4.2-mingw64.tar.xz with its SHA256SUMS into ../shared/windows/, or build it once" \
    "with scripts/build-qt-windows (about an hour)."
  return 1
}

win_apt() {
  local apt="$MATRIX_WIN_CACHE/apt"
  apt-get -q -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources.list.d" \
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" "$@"
}

# Downloads the Debian source package NAME into the current folder, with
# deb-src entries made from the system's own apt sources, kept in a private
# apt state in the cache (the system's apt configuration is not touched).
win_apt_source() {
  local apt="$MATRIX_WIN_CACHE/apt" f
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
  if [ ! -f "$apt/.updated" ] || [ -n "$(find "$apt/.updated" -mmin +1440)" ]; then
    rm -f "$apt/sources.list.d/"*
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/sources.list.d/src-$(basename "$f")"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$f" >"$apt/sources.list.d/src-$(basename "$f" .list).list"
    done
    win_apt update >/dev/null
    touch "$apt/.updated"
  fi
  win_apt source --download-only "$1" >/dev/null 2>&1
}

# Sets MOSQ_WIN to libmosquitto for Windows (TLS off), built once from Debian's
# source package into the cache (about two minutes).
win_mosquitto() {
  MOSQ_WIN="$MATRIX_WIN_CACHE/mosquitto-$MOSQUITTO_VERSION-mingw64"
  [ -f "$MOSQ_WIN/bin/libmosquitto.dll" ] && [ -f "$MOSQ_WIN/lib/libmosquitto.dll.a" ] && return 0
  local work="$MATRIX_WIN_CACHE/mosquitto-src" dsc
  echo "windows: building libmosquitto $MOSQUITTO_VERSION for Windows from Debian's source package"
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && win_apt_source mosquitto) || {
    echo "windows: apt-get source mosquitto failed" >&2; return 1; }
  dsc="$(ls "$work"/mosquitto_"$MOSQUITTO_VERSION"-*.dsc 2>/dev/null | head -1)"
  [ -n "$dsc" ] || { echo "windows: the package mirror has no mosquitto $MOSQUITTO_VERSION" >&2; return 1; }
  dpkg-source -x --no-check "$dsc" "$work/src" >/dev/null
  # Threads off: the client is driven from the Qt event loop, and the upstream
  # CMake file only knows the MSVC pthreads for Windows.
  cmake -G Ninja -S "$work/src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$MOSQ_WIN" -DWITH_TLS=OFF -DWITH_THREADING=OFF \
    -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DWITH_LIB_CPP=OFF \
    -DWITH_CJSON=OFF -DDOCUMENTATION=OFF >"$work/build.log" 2>&1 &&
    ninja -C "$work/build" install >>"$work/build.log" 2>&1 || {
      tail -30 "$work/build.log" >&2; return 1; }
  # The import library is not among upstream's install rules.
  cp "$work/build/lib/libmosquitto.dll.a" "$MOSQ_WIN/lib/"
  rm -rf "$work"
}

# The 64-bit Wine loader (Debian's `wine` wants wine32 as well).
win_wine() {
  if command -v wine64 >/dev/null; then echo wine64
  elif [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64
  else echo wine; fi
}
