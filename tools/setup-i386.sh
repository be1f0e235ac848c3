#!/usr/bin/env bash
# The 32-bit runner: runs the 32-bit (i686) Windows programs and plug-in under
# a 32-bit Wine.
#
#   tools/setup-i386.sh [prepare]   set everything up (idempotent, quick when done)
#   tools/setup-i386.sh status      change nothing; print the i386 folder and exit 0
#                                   when ready, else print why not and exit 1
#                                   (2: the kernel can neither run nor emulate
#                                   32-bit programs; 3: not ready, and setting it
#                                   up needs root)
#
# The i386 folder holds the 32-bit Wine (its loader is usr/lib/wine/wine in
# it) and the 32-bit libraries it needs.  Which one it is depends on the
# kernel, which is asked first: a tiny static i386 program is started.
#
# Where the kernel runs 32-bit programs itself, the i386 folder is the system
# itself, "/": Debian's 32-bit Wine (wine32:i386, libwine:i386) of exactly the
# host's Wine version is installed the Debian way, with i386 added to dpkg's
# architectures.  Nothing is emulated, no binfmt_misc entry is registered.
#
# Where it does not, every 32-bit Linux program (Wine's 32-bit loader and the
# helper processes it starts) runs under qemu-i386 user-mode emulation, which
# the kernel starts through a binfmt_misc entry.  The 32-bit Wine and the
# 32-bit libraries it needs are extracted, not installed, into a folder of
# their own, the i386 folder (QEMU_LD_PREFIX points there); the system's dpkg
# stays amd64-only.  The Wine server is the machine's own 64-bit wineserver
# (the same Wine version), so only the 32-bit processes are emulated.  What
# prepare does then, each step only when needed:
#   - adds the distribution's backports source (Debian 12 ships qemu 7.2,
#     which needs over a minute of CPU per Wine process; qemu 10 from
#     bookworm-backports starts one in a few seconds) and installs qemu-user
#     and mmdebstrap;
#   - mounts binfmt_misc and registers qemu-i386 for i386 ELF programs
#     (flags PF; the entry does not survive a reboot, so this is checked every
#     time);
#   - extracts wine32 and libwine of exactly the host's Wine version into the
#     i386 folder, with its own ld.so.cache (else the 32-bit loader reads the
#     host's and finds the 64-bit libc).  About 45 s and 0.8 GB the first time.
#
# The extracted folder is root/ in GLIMMORA_I386_DIR, default
# ~/.cache/glimmora/i386 (it lives outside the build folder, so a fresh build
# or a clean clone reuses it); delete it to start over.
#
# When the runner cannot be set up (no root, no binfmt_misc) prepare prints one
# line saying why and exits 0, and the 32-bit tests report that they were
# skipped.  Under CI=true that is a failure (exit 1), unless the kernel can
# neither run nor emulate 32-bit programs.
set -uo pipefail

# I386_DIR and host_wine_version come from here.
# shellcheck source=wine-prefix.sh
. "$(dirname "$0")/wine-prefix.sh"
dir=$I386_DIR
root="$dir/root"
qemu=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
entry=qemu-i386
# i386 ELF executables and shared objects (as qemu's own binfmt scripts match them).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
min_qemu=10

say() { echo "setup-i386: $*" >&2; }

# Whether the kernel runs i386 programs itself.  The probe is a static i386
# program of 93 bytes that exits with 42.  Its ELF header carries a mark in
# the padding of its identification bytes, which the kernel's own loader
# ignores and binfmt_misc entries for i386 programs (qemu's) match as zeros,
# so no emulator takes it.  A kernel without 32-bit support refuses it.
kernel_runs_i386() {
    local probe rc
    probe=$(mktemp "${TMPDIR:-/tmp}/glimmora-i386-probe.XXXXXX") || return 1
    {
        # ELF header: 32-bit, little-endian, the mark "G" in byte 15; an i386
        # executable starting at 0x08048054, one program header.
        printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000G\002\000\003\000\001\000\000\000'
        printf '\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000'
        printf '\000\000\000\000\000\000'
        # The program header: the whole file loaded at 0x08048000, read and execute.
        printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000'
        printf '\005\000\000\000\000\020\000\000'
        # The code: xor ebx,ebx; mov bl,42; xor eax,eax; inc eax; int 0x80 (exit).
        printf '\061\333\263\052\061\300\100\315\200'
    } >"$probe" && chmod +x "$probe" && "$probe" 2>/dev/null
    rc=$?
    rm -f "$probe"
    [ $rc -eq 42 ]
}

# The version of the i386 package of the 32-bit Wine, when installed.
i386_wine_version() {
    dpkg-query -W -f='${Version}' wine32:i386 2>/dev/null
}

qemu_major() {
    [ -x "$qemu" ] || { echo 0; return; }
    "$qemu" --version 2>/dev/null | sed -n '1s/.*version \([0-9]*\)\..*/\1/p'
}

binfmt_supported() {
    [ -d "$binfmt" ] || grep -qw binfmt_misc /proc/filesystems 2>/dev/null
}

entry_ok() {
    local f="$binfmt/$entry"
    [ -r "$f" ] && [ "$(cat "$binfmt/status" 2>/dev/null)" = enabled ] || return 1
    grep -qx enabled "$f" && grep -qx "interpreter $qemu" "$f" &&
        grep -q '^flags: .*P' "$f" && grep -q '^flags: .*F' "$f"
}

root_ok() {
    local want
    want="wine $(host_wine_version)"
    [ -f "$root/.glimmora-ready" ] && [ "$(cat "$root/.glimmora-ready")" = "$want" ]
}

# The i386 folder (see the top).
i386_folder() {
    if kernel_runs_i386; then echo /; else echo "$root"; fi
}

# Prints why the runner is not ready (nothing when it is); returns 0 ready,
# 1 not prepared, 2 no binfmt_misc support in this kernel.
check() {
    if kernel_runs_i386; then
        check_native
    else
        check_emulated
    fi
}

check_native() {
    if [ -z "$(host_wine_version)" ]; then
        echo "the 64-bit Wine (wine64) is not installed (run tools/setup.sh)"
        return 1
    fi
    if [ "$(i386_wine_version)" != "$(host_wine_version)" ]; then
        echo "the 32-bit Wine of Wine $(host_wine_version) (wine32:i386) is not installed (run tools/setup.sh as root)"
        return 1
    fi
    return 0
}

check_emulated() {
    if ! binfmt_supported; then
        echo "the kernel has no binfmt_misc support, so 32-bit programs cannot be emulated"
        return 2
    fi
    if [ ! -f "$binfmt/register" ]; then
        echo "binfmt_misc is not mounted at $binfmt (run tools/setup.sh as root)"
        return 1
    fi
    if [ -z "$(host_wine_version)" ]; then
        echo "the 64-bit Wine (wine64) is not installed (run tools/setup.sh)"
        return 1
    fi
    local major
    major=$(qemu_major)
    if [ "${major:-0}" -lt "$min_qemu" ]; then
        echo "qemu-i386 $min_qemu or newer is not installed (run tools/setup.sh as root)"
        return 1
    fi
    if ! entry_ok; then
        echo "no binfmt_misc entry runs i386 programs with $qemu (run tools/setup.sh as root)"
        return 1
    fi
    if ! root_ok; then
        echo "the i386 folder $root is not prepared for Wine $(host_wine_version) (run tools/setup.sh)"
        return 1
    fi
    return 0
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        return 1
    fi
}

# Root, or sudo without a password, or sudo that can ask at a terminal.
can_be_root() {
    [ "$(id -u)" -eq 0 ] && return 0
    command -v sudo >/dev/null 2>&1 || return 1
    sudo -n true 2>/dev/null || [ -t 0 ]
}

codename() {
    (. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
}

# The Debian archive URIs apt uses here for SUITE, one per line (from apt's
# own view of its sources, whatever their format).
archive_uris() {
    local suite=$1
    apt-cache policy 2>/dev/null |
        awk -v s="$suite/main" '$3 == s && $4 == "amd64" && $5 == "Packages" { print $2 }' | sort -u
}

install_packages() {
    local code major
    code=$(codename)
    major=$(qemu_major)
    local want=()
    if [ "${major:-0}" -lt "$min_qemu" ]; then
        if [ "$code" = bookworm ]; then
            if ! grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
                local uri
                uri=$(archive_uris bookworm | grep -v security | head -n 1)
                uri=${uri:-http://deb.debian.org/debian}
                say "adding the bookworm-backports source ($uri)"
                printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
                    "$uri" /usr/share/keyrings/debian-archive-keyring.gpg |
                    as_root tee /etc/apt/sources.list.d/glimmora-backports.sources >/dev/null || return 1
            fi
            want+=(qemu-user/bookworm-backports)
        else
            want+=(qemu-user)
        fi
    fi
    command -v mmdebstrap >/dev/null 2>&1 || want+=(mmdebstrap)
    [ ${#want[@]} -eq 0 ] && return 0
    say "installing ${want[*]}"
    as_root apt-get update -q -o DPkg::Lock::Timeout=600 >/dev/null || return 1
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        -o DPkg::Lock::Timeout=600 "${want[@]}" >/dev/null || return 1
    major=$(qemu_major)
    [ "${major:-0}" -ge "$min_qemu" ] || { say "qemu-i386 is still older than $min_qemu"; return 1; }
}

# The Debian way, for a kernel that runs 32-bit programs itself: i386 as a
# foreign architecture of dpkg, and the 32-bit Wine of the host's version.
install_wine32() {
    local version
    version=$(host_wine_version)
    [ -n "$version" ] || { say "the 64-bit Wine (wine64) is not installed"; return 1; }
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        say "adding i386 to dpkg's architectures"
        as_root dpkg --add-architecture i386 || return 1
    fi
    say "installing the 32-bit Wine $version (wine32:i386)"
    as_root apt-get update -q -o DPkg::Lock::Timeout=600 >/dev/null || return 1
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        -o DPkg::Lock::Timeout=600 "wine32:i386=$version" "libwine:i386=$version" >/dev/null || return 1
}

register_binfmt() {
    if [ ! -f "$binfmt/register" ]; then
        as_root mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
    fi
    entry_ok && return 0
    say "registering $qemu for i386 programs (binfmt_misc)"
    if [ -e "$binfmt/$entry" ]; then
        echo -1 | as_root tee "$binfmt/$entry" >/dev/null || return 1
    fi
    # The kernel decodes the \x escapes itself.
    printf '%s' ":$entry:M::$magic:$mask:$qemu:PF" | as_root tee "$binfmt/register" >/dev/null || return 1
    if [ "$(cat "$binfmt/status")" != enabled ]; then
        echo 1 | as_root tee "$binfmt/status" >/dev/null || return 1
    fi
    entry_ok
}

extract_root() {
    root_ok && return 0
    local version code new
    version=$(host_wine_version)
    code=$(codename)
    [ -n "$code" ] || { say "cannot tell the distribution's release from /etc/os-release"; return 1; }
    new="$dir/root.new"
    # Same archives as the host: its release, -updates and -security.
    local sources=() suite uri
    for suite in "$code" "$code-updates" "$code-security"; do
        while read -r uri; do
            [ -n "$uri" ] && sources+=("deb $uri $suite main")
        done < <(archive_uris "$suite")
    done
    [ ${#sources[@]} -gt 0 ] || sources=("deb http://deb.debian.org/debian $code main")
    say "extracting the 32-bit Wine $version into $root (once; about a minute)"
    mkdir -p "$dir" || return 1
    as_root rm -rf "$new" || return 1
    local log="$dir/extract.log"
    if ! as_root mmdebstrap --variant=extract --arch=i386 \
        --include="wine32=$version,libwine=$version" "$code" "$new" "${sources[@]}" >"$log" 2>&1; then
        tail -n 20 "$log" >&2
        return 1
    fi
    # The 32-bit loader's library cache, made for the folder itself.
    echo 'include /etc/ld.so.conf.d/*.conf' | as_root tee "$new/etc/ld.so.conf" >/dev/null &&
        as_root ldconfig -r "$new" || return 1
    local f
    for f in usr/lib/wine/wine usr/i686-w64-mingw32/lib/zlib1.dll etc/ld.so.cache; do
        [ -f "$new/$f" ] || { say "the extracted folder has no $f"; return 1; }
    done
    echo "wine $version" | as_root tee "$new/.glimmora-ready" >/dev/null || return 1
    as_root rm -rf "$root" && as_root mv "$new" "$root"
}

prepare() {
    local reason rc
    reason=$(check)
    rc=$?
    [ $rc -eq 0 ] && return 0
    if [ $rc -ne 2 ]; then
        mkdir -p "$dir" 2>/dev/null
        if ! can_be_root; then
            reason="setting it up needs root (or sudo): $reason"
        else
            # One set-up at a time per folder (parallel work trees share it).
            (
                flock 9
                if kernel_runs_i386; then
                    install_wine32
                else
                    install_packages && register_binfmt && extract_root
                fi
            ) 9>"$dir/.lock"
            reason=$(check)
            rc=$?
            [ $rc -eq 0 ] && return 0
        fi
    fi
    if [ "${CI:-}" = true ] && [ $rc -ne 2 ]; then
        say "error: the 32-bit runner could not be set up: $reason"
        return 1
    fi
    echo "setup-i386: the 32-bit tier will be skipped: $reason"
    return 0
}

case "${1:-prepare}" in
prepare) prepare ;;
status)
    reason=$(check)
    rc=$?
    if [ $rc -eq 0 ]; then
        i386_folder
    elif [ $rc -eq 1 ] && ! can_be_root; then
        echo "setting it up needs root (or sudo): $reason"
        rc=3
    else
        echo "$reason"
    fi
    exit $rc
    ;;
*)
    echo "usage: $0 [prepare|status]" >&2
    exit 2
    ;;
esac
