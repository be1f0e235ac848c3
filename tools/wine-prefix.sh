# Wine and Wine prefixes for Glimmora's programs, shared by tools/glimmora,
# the Wine test tier (tests/wine/env.sh), bench/host_bench.sh and
# tools/setup-i386.sh.  Sourced, not run.
#
# A 32-bit prefix made under emulation costs about half a minute, so the
# first one a machine makes is kept in the i386 folder's parent as a template
# (`prefix_template`) and later prefixes start as copies of it.

# Where the Wine is, named here once: the system's 64-bit Wine (Debian:
# wine64), whose loader GLIMMORA_WINE may name instead, and its server, which
# serves the 32-bit programs as well.  The 32-bit loader is usr/lib/wine/wine
# in the i386 folder that tools/setup-i386.sh prepares in I386_DIR
# (GLIMMORA_I386_DIR).
WINE64_LOADER=${GLIMMORA_WINE:-/usr/lib/wine/wine64}
WINE64_SERVER=/usr/lib/wine/wineserver64
I386_DIR=${GLIMMORA_I386_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/glimmora/i386}

# wine32_loader I386_ROOT: the 32-bit Wine loader in that i386 folder.
wine32_loader() {
    echo "${1%/}/usr/lib/wine/wine"
}

host_wine_version() {
    dpkg-query -W -f='${Version}' wine64 2>/dev/null
}

# Raise when prepare_prefix changes: templates made the old way are then
# no longer used.
PREFIX_RECIPE=1

# prepare_prefix LOADER ARCH I386_ROOT LOG: makes the prefix WINEPREFIX names
# with the Wine loader LOADER, writing Wine's output to LOG.
prepare_prefix() {
    local loader=$1 arch=$2 i386_root=$3 log=$4
    if [ "$arch" = 32 ]; then
        # Debian's 32-bit user32.dll imports zlib1.dll, which the 32-bit Wine
        # only finds in the prefix; it must be there before wineboot.
        mkdir -p "$WINEPREFIX/drive_c/windows/system32" &&
            cp "${i386_root%/}/usr/i686-w64-mingw32/lib/zlib1.dll" "$WINEPREFIX/drive_c/windows/system32/" ||
            return 1
    fi
    "$loader" wineboot -i </dev/null >>"$log" 2>&1 || return 1
    # Without a window manager, Wine's managed windows wait for events that
    # never come (about two seconds per message box).
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$log" 2>&1 || return 1
    # A crash prints a backtrace and ends the program instead of waiting for
    # someone to close the crash dialog.
    "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >>"$log" 2>&1
}

# Where the kept 32-bit prefix lives.
prefix_template() {
    echo "$I386_DIR/wine32-prefix"
}

# What a template was made for: the Wine version (the 32-bit Wine is always
# the host's) and the recipe.
template_stamp() {
    echo "wine $(host_wine_version) recipe $PREFIX_RECIPE"
}

# template_ok TEMPLATE: the template exists and suits this Wine.
template_ok() {
    [ -f "$1/.glimmora-template" ] && [ "$(cat "$1/.glimmora-template")" = "$(template_stamp)" ]
}

# copy_prefix FROM TO: the programs and libraries as hard links (Wine only
# ever reads them), every other file (the registry, ini files, which Wine may
# rewrite in place) as a copy of its own.
copy_prefix() {
    local from=$1 to=$2
    rm -rf "$to"
    # Hard links need one file system; elsewhere a whole copy.
    if ! cp -al "$from" "$to" 2>/dev/null; then
        rm -rf "$to"
        cp -a "$from" "$to" || return 1
    fi
    rm -f "$to/.glimmora-template" "$to/wineserver"
    find "$to" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' -o \
        -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.tlb' -o -iname '*.ax' -o \
        -iname '*.ds' -o -iname '*.nls' -o -iname '*.ttf' -o -iname '*.fon' \) \
        -exec sh -c 'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f" || exit 1; done' sh {} + || return 1
}
