#!/usr/bin/env bash
# Builds the release bundles from the current checkout into dist/:
#
#   glimmora-VERSION-windows.zip              both plug-ins, install notes, checksums
#   glimmora-VERSION-gegl-linux-x86_64.tar.gz the GEGL operation with install.sh
#   glimmora-VERSION-src.tar.gz               the sources of the commit
#   SHA256SUMS                                over the three archives
#
#   tools/release.sh [--allow-dirty] [--out DIR] [--build-dir DIR] [--no-setup]
#
# The same commit gives the same bytes in any folder at any time: the
# binaries carry no paths or link times (CMakeLists.txt, cmake/windows.cmake),
# the archives are dated by the commit (SOURCE_DATE_EPOCH) and written by
# tools/release/pack.py.  The plug-ins are built exactly as tools/build.sh
# builds the ones the test tiers run, so they are byte for byte those.
#
# A tree with uncommitted changes is refused unless --allow-dirty is given
# (the source archive always holds the commit, HEAD).  dist/ is replaced only
# once everything is written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

fail() {
    echo "release: $*" >&2
    exit 1
}

allow_dirty=0
setup=1
out=$root/dist
build=$root/build/release
while [ $# -gt 0 ]; do
    case "$1" in
    --allow-dirty) allow_dirty=1 ;;
    --no-setup) setup=0 ;;
    --out | --build-dir)
        [ $# -ge 2 ] || fail "$1 needs a folder"
        if [ "$1" = --out ]; then out=$2; else build=$2; fi
        shift
        ;;
    -h | --help)
        sed -n '2,19s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    *) fail "unknown option $1 (see --help)" ;;
    esac
    shift
done
case "$out" in /*) ;; *) out=$PWD/$out ;; esac
case "$build" in /*) ;; *) build=$PWD/$build ;; esac

cd "$root"
git rev-parse --verify -q HEAD >/dev/null 2>&1 || fail "$root is not a git checkout with a commit"
if [ "$allow_dirty" -eq 0 ] && [ -n "$(git status --porcelain)" ]; then
    fail "the working tree has uncommitted changes; commit them or pass --allow-dirty"
fi
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH

if [ "$setup" -eq 1 ]; then
    "$root/tools/setup.sh" >&2 || fail "tools/setup.sh failed"
fi

# --- the binaries ---------------------------------------------------------------
# The three builds the bundles need, each configured as in tools/build.sh,
# with only the bundled targets built.
log=$build/build.log
mkdir -p "$build"
: >"$log"
build_target() { # NAME TARGET [CMAKE ARGS...]
    local name=$1 target=$2
    shift 2
    echo "release: building $target ($name)" >&2
    { cmake -S "$root" -B "$build/$name" -DCMAKE_BUILD_TYPE=Release "$@" &&
        cmake --build "$build/$name" --target "$target" -j"$(nproc)"; } >>"$log" 2>&1 ||
        { tail -n 30 "$log" >&2; fail "the $name build failed (log: $log)"; }
}
build_target win-i686 glimmora -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
build_target win-x86_64 glimmora -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
build_target native glimmora_gegl -DGLIMMORA_WINDOWS=OFF
[ -f "$build/native/gegl/glimmora-spokes.so" ] || fail "the GEGL operation was not built (is libgegl-dev installed?)"

header=$build/native/generated/glimmora_version.h
GLIMMORA_VERSION=$(sed -n 's/^#define GLIMMORA_VERSION "\(.*\)"$/\1/p' "$header")
GLIMMORA_SHORT_VERSION=$(sed -n 's/^#define GLIMMORA_VERSION_SHORT "\(.*\)"$/\1/p' "$header")
[ -n "$GLIMMORA_VERSION" ] || fail "no version in $header"
export GLIMMORA_VERSION GLIMMORA_SHORT_VERSION
name=glimmora-$GLIMMORA_VERSION

# --- the bundles, written beside dist/ and moved in when complete --------------
mkdir -p "$(dirname "$out")"
stage=$(mktemp -d "$out.new.XXXXXX")
trap 'rm -rf "$stage"' EXIT
pack() { python3 "$root/tools/release/pack.py" "$@" || fail "could not write $2"; }
rel=$root/tools/release

dlls=$stage/dlls
mkdir -p "$dlls/x86" "$dlls/x64"
cp "$build/win-i686/GLIMMORA.8bf" "$dlls/x86/"
cp "$build/win-x86_64/GLIMMORA.8bf" "$dlls/x64/"
(cd "$dlls" && sha256sum x86/GLIMMORA.8bf x64/GLIMMORA.8bf >SHA256SUMS)
pack zip "$stage/$name-windows.zip" "$SOURCE_DATE_EPOCH" \
    "x86/GLIMMORA.8bf=$dlls/x86/GLIMMORA.8bf" "x64/GLIMMORA.8bf=$dlls/x64/GLIMMORA.8bf" \
    "SHA256SUMS=$dlls/SHA256SUMS" "INSTALL.txt=$rel/INSTALL.txt:crlf" "LICENSE=$root/LICENSE:crlf"
rm -rf "$dlls"

gegl=$name-gegl-linux-x86_64
pack tgz "$stage/$gegl.tar.gz" "$SOURCE_DATE_EPOCH" \
    "$gegl/glimmora-spokes.so=$build/native/gegl/glimmora-spokes.so" "$gegl/install.sh=$rel/install.sh:x" \
    "$gegl/README.txt=$rel/README-gegl.txt" "$gegl/LICENSE=$root/LICENSE"

git archive --format=tar --prefix="$name/" HEAD | gzip -9 -n >"$stage/$name-src.tar.gz" ||
    fail "could not write the source archive"

(cd "$stage" && sha256sum "$name-windows.zip" "$gegl.tar.gz" "$name-src.tar.gz" >SHA256SUMS)

# Only now is the old dist/ replaced.
old=""
if [ -e "$out" ]; then
    old=$(mktemp -d "$out.old.XXXXXX")
    mv "$out" "$old/"
fi
mv "$stage" "$out"
trap - EXIT
[ -z "$old" ] || rm -rf "$old"

echo "release: wrote $out for Glimmora $GLIMMORA_VERSION:"
(cd "$out" && for f in "$name-windows.zip" "$gegl.tar.gz" "$name-src.tar.gz" SHA256SUMS; do
    printf '  %-44s %9d bytes\n' "$f" "$(stat -c %s "$f")"
done)
