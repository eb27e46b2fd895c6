#!/usr/bin/env bash
# Builds the libraries the Windows simulator draws its paper with (zint, FreeType, libpng) as
# static mingw-w64 libraries, from Debian's own source packages of the versions installed here for
# Linux, so both systems draw the same pictures. zlib is Debian's libz-mingw-w64-dev. The
# console's HTTP library, cpp-httplib, comes from its source package too: upstream it is one
# header that holds the whole library (Debian's Linux package splits it into a shared library),
# so its httplib.h is kept as it is and compiled into the program, without OpenSSL, zlib or
# Brotli.
#
# They are built once into a cache outside the repository,
#   ${XDG_CACHE_HOME:-$HOME/.cache}/pos-printer-tools/mingw-libs/<key>
# (POS_WINDOWS_LIBS_CACHE overrides the folder above <key>), which a second build and a second
# clone reuse. The key is a hash of the installed Linux versions of the three libraries, the
# mingw-w64 compiler's and zlib's package versions and this script, so it changes when any of
# them does (cpp-httplib's version among the libraries'). A cache hit needs neither the network nor a compiler.
#
# The sources come through apt with a configuration of this script's own (deb-src entries for the
# suites the machine's apt uses, private lists and cache folders): the machine's apt set-up and
# its lists are left as they are. No source is kept: only the headers, the static libraries and
# the licences.
#
# Prints the folder (include/, lib/, licenses/, versions.txt) as its last line; progress and the
# build's time go to standard error. Usage: scripts/windows-libs.sh [--key]
set -euo pipefail

triplet=x86_64-w64-mingw32
cc=$triplet-gcc-posix
sysroot=/usr/$triplet
# Source package of each library, found through the Linux development package.
dev_packages=(libzint-dev libfreetype-dev libpng-dev libcpp-httplib-dev)

say() { echo "windows-libs: $*" >&2; }
die() {
    say "$*"
    exit 1
}

for tool in "$cc" cmake dpkg-source apt-get sha256sum flock; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/setup.sh installs it)"
done
[ -f "$sysroot/lib/libz.a" ] || die "$sysroot/lib/libz.a is missing (package libz-mingw-w64-dev)"

# "source version" of each library installed for Linux.
sources=()
for p in "${dev_packages[@]}"; do
    line=$(dpkg-query -W -f='${source:Package} ${source:Version}' "$p" 2>/dev/null) ||
        die "$p is not installed (scripts/setup.sh installs it)"
    sources+=("$line")
done
toolchain=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix 2>/dev/null || $cc -dumpfullversion)
zlib=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev 2>/dev/null || echo unknown)
key=$({
    printf '%s\n' "${sources[@]}" "mingw $toolchain" "zlib $zlib"
    cat "$0"
} | sha256sum | cut -c1-16)
if [ "${1:-}" = "--key" ]; then
    echo "$key"
    exit 0
fi

root=${POS_WINDOWS_LIBS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pos-printer-tools/mingw-libs}
target=$root/$key
if [ -f "$target/ready" ]; then
    echo "$target"
    exit 0
fi
mkdir -p "$root"
# Two builds at once (two clones, two trees): the second waits for the first and uses its result.
exec 9>"$root/$key.lock"
flock 9
if [ -f "$target/ready" ]; then
    echo "$target"
    exit 0
fi

start=$SECONDS
work=$(mktemp -d "$root/.work-XXXXXX")
trap 'rm -rf "$work"' EXIT
say "building zint, FreeType and libpng for Windows once into $target (and cpp-httplib's header)"

# --- The sources: deb-src entries for the Debian suites the machine's apt reads packages from.
apt_dir=$work/apt
mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
options=()
[ -f "$keyring" ] && options=("[signed-by=$keyring]")
apt-get indextargets --format '$(TARGET_OF) $(ORIGIN) $(REPO_URI) $(RELEASE) $(COMPONENT)' |
    awk '$1 == "deb" && $2 == "Debian" { print $3, $4, $5 }' | sort -u |
    while read -r uri suite component; do
        echo "deb-src ${options[*]} $uri $suite $component"
    done >"$apt_dir/sources.list"
if [ ! -s "$apt_dir/sources.list" ]; then  # no Debian lists yet: the release's own suites
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || die "cannot tell which Debian release this is"
    for suite in "$codename" "$codename-updates"; do
        echo "deb-src ${options[*]} http://deb.debian.org/debian $suite main"
    done >"$apt_dir/sources.list"
    echo "deb-src ${options[*]} http://deb.debian.org/debian-security $codename-security main" \
        >>"$apt_dir/sources.list"
fi
apt=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
     -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
     -o "APT::Sandbox::User=$(id -un)" -o "Acquire::Retries=3")
apt-get "${apt[@]}" -qq update >&2 || die "apt-get update of the source lists failed"

# Each library at the version installed for Linux; when the archive no longer has that revision
# (a newer security update replaced it), the newest revision of the same upstream version.
fetched=()
for line in "${sources[@]}"; do
    read -r package version <<<"$line"
    upstream=${version%-*}
    candidates=("$version")
    while read -r v; do
        [ "$v" != "$version" ] && [ "${v%-*}" = "$upstream" ] && candidates+=("$v")
    done < <(apt-cache "${apt[@]}" showsrc --only-source "$package" 2>/dev/null |
        sed -n 's/^Version: //p' | sort -rV | uniq)
    got=
    for v in "${candidates[@]}"; do
        mkdir -p "$work/src/$package"
        if (cd "$work/src/$package" &&
            apt-get "${apt[@]}" -qq source --only-source "$package=$v" >"$work/src/$package.log" 2>&1); then
            got=$v
            break
        fi
        rm -rf "$work/src/$package"
    done
    [ -n "$got" ] || { cat "$work/src/$package.log" >&2 || true; die "cannot get the source of $package $version"; }
    [ "$got" = "$version" ] || say "$package $version is no longer in the archive: using $got"
    fetched+=("$package $got")
done
source_dir() { find "$work/src/$1" -mindepth 1 -maxdepth 1 -type d | head -1; }
say "sources fetched in $((SECONDS - start)) s"

# --- The builds, all three at once, each with only what the paper needs.
prefix=$work/prefix
mkdir -p "$prefix/lib" "$prefix/include" "$prefix/licenses"
cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $triplet-g++-posix)
set(CMAKE_RC_COMPILER $triplet-windres)
set(CMAKE_FIND_ROOT_PATH $sysroot)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601")
EOF
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
jobs=$(nproc)
zlib_args=(-DZLIB_LIBRARY="$sysroot/lib/libz.a" -DZLIB_INCLUDE_DIR="$sysroot/include")
common=("${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX="$prefix"
        -DBUILD_SHARED_LIBS=OFF -Wno-dev)

build() {  # build NAME SOURCE TARGET CMAKE-ARGS...: configure, build one target, install
    local name=$1 src=$2 target=$3
    shift 3
    {
        cmake -S "$src" -B "$work/build-$name" "${common[@]}" "$@" &&
            cmake --build "$work/build-$name" -j"$jobs" --target "$target"
    } >"$work/$name.log" 2>&1
}

# FreeType as Debian configures it (its patches applied; without bzip2, HarfBuzz and Brotli), and
# without PNG (colour emoji): the printer fonts are bitmap strikes and TrueType outlines.
build freetype "$(source_dir freetype)" freetype -DFT_REQUIRE_ZLIB=ON "${zlib_args[@]}" \
    -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON &
pids=($!)
# libpng: the library alone, no programs or tests.
build png "$(source_dir libpng1.6)" png_static "${zlib_args[@]}" -DPNG_SHARED=OFF \
    -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF -Dld-version-script=OFF &
pids+=($!)
# zint: the encoding library alone (no Qt, no PNG output: the simulator draws its modules).
build zint "$(source_dir zint)" zint-static -DZINT_STATIC=ON -DZINT_USE_PNG=OFF -DZINT_USE_QT=OFF &
pids+=($!)
names=(freetype png zint)
failed=0
for i in "${!pids[@]}"; do
    if ! wait "${pids[$i]}"; then
        tail -n 40 "$work/${names[$i]}.log" >&2
        say "building ${names[$i]} failed (above: the end of its log)"
        failed=1
    fi
done
[ "$failed" -eq 0 ] || exit 1

# Headers and static libraries, under the names the simulator's build links.
ft_src=$(source_dir freetype) png_src=$(source_dir libpng1.6) zint_src=$(source_dir zint)
mkdir -p "$prefix/include/freetype2"
cp -r "$ft_src/include/." "$prefix/include/freetype2/"
# FreeType's build writes its configured ftoption.h into the build folder.
cp "$work/build-freetype/include/freetype/config/ftoption.h" \
    "$prefix/include/freetype2/freetype/config/ftoption.h"
cp "$work/build-freetype/libfreetype.a" "$prefix/lib/libfreetype.a"
cp "$png_src/png.h" "$png_src/pngconf.h" "$work/build-png/pnglibconf.h" "$prefix/include/"
cp "$work/build-png/libpng16.a" "$prefix/lib/libpng16.a"
cp "$zint_src/backend/zint.h" "$prefix/include/"
cp "$work/build-zint/backend/libzint-static.a" "$prefix/lib/libzint.a"
# cpp-httplib: the single header, whole (Debian's patches applied).
httplib_src=$(source_dir cpp-httplib)
grep -q 'CPPHTTPLIB_VERSION' "$httplib_src/httplib.h" || die "cpp-httplib's source has no httplib.h"
cp "$httplib_src/httplib.h" "$prefix/include/"

# The licences: Debian's copyright file of each source package and the upstream licence texts;
# zlib's from its package.
copy_licence() {  # copy_licence NAME FILE...
    local name=$1
    shift
    mkdir -p "$prefix/licenses/$name"
    for f in "$@"; do cp "$f" "$prefix/licenses/$name/"; done
}
copy_licence freetype "$ft_src/debian/copyright" "$ft_src/LICENSE.TXT" "$ft_src/docs/FTL.TXT" \
    "$ft_src/docs/GPLv2.TXT"
copy_licence libpng "$png_src/debian/copyright" "$png_src/LICENSE"
copy_licence zint "$zint_src/debian/copyright" "$zint_src/LICENSE"
copy_licence cpp-httplib "$httplib_src/debian/copyright" "$httplib_src/LICENSE"
copy_licence zlib /usr/share/doc/libz-mingw-w64-dev/copyright
{
    printf '%s\n' "${fetched[@]}"
    echo "zlib (libz-mingw-w64-dev) $zlib"
    echo "mingw-w64 g++ $toolchain"
} >"$prefix/versions.txt"
touch "$prefix/ready"
mv "$prefix" "$target"
say "built $(printf '%s, ' "${fetched[@]}" | sed 's/, $//') in $((SECONDS - start)) s"
echo "$target"
