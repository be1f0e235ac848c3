#!/bin/sh
# Installs the Glimmora GEGL operation (glimmora:spokes) for this account.
#
#   ./install.sh                 copy glimmora-spokes.so into the GEGL plug-in folder
#   ./install.sh --uninstall     remove it from there
#   ./install.sh --dir DIR ...   use DIR instead of the usual folder
#
# The usual folder is the one GEGL (and so GIMP) reads for the account when
# GEGL_PATH is not set: $XDG_DATA_HOME/gegl-0.4/plug-ins, that is
# ~/.local/share/gegl-0.4/plug-ins by default.
set -eu

module=glimmora-spokes.so
here=$(cd "$(dirname "$0")" && pwd)
dir=${XDG_DATA_HOME:-$HOME/.local/share}/gegl-0.4/plug-ins
action=install

say() { echo "install.sh: $*"; }
usage() { sed -n '3,6s/^# \{0,1\}//p' "$0"; }

while [ $# -gt 0 ]; do
    case "$1" in
    --uninstall) action=uninstall ;;
    --dir)
        [ $# -ge 2 ] || { say "--dir needs a folder" >&2; exit 2; }
        dir=$2
        shift
        ;;
    --dir=*) dir=${1#--dir=} ;;
    -h | --help) usage; exit 0 ;;
    *) say "unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
    shift
done

if [ "$action" = uninstall ]; then
    if [ -e "$dir/$module" ]; then
        rm -f "$dir/$module"
        say "removed $dir/$module"
    else
        say "nothing to remove: $dir/$module is not there"
    fi
    exit 0
fi

[ -f "$here/$module" ] || { say "$module is missing beside this script" >&2; exit 1; }
mkdir -p "$dir"
# Copied under another name first, so that a GIMP starting meanwhile never
# loads half a module.
cp "$here/$module" "$dir/.$module.new"
mv -f "$dir/.$module.new" "$dir/$module"
say "installed $dir/$module"
say "restart GIMP, then pick glimmora:spokes in the GEGL Operation tool"
