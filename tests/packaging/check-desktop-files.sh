#!/bin/sh
# Installs the program into a temporary folder and checks its desktop integration there: the
# menu entry and the AppStream description pass their validators without a single remark, the
# entry runs the installed launcher and names an icon that is installed, and the newest release
# in the description is the version being built.
#
#   check-desktop-files.sh CMAKE BUILD_DIR VERSION LAUNCHER
#
# LAUNCHER is where the vedalka command is installed, relative to the prefix.
#
# Exits 77 (skipped) when desktop-file-validate or appstreamcli is not installed.
set -eu

cmake=$1 build=$2 version=$3 launcher=$4
app_id=ru.vedalka.Vedalka

for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (scripts/setup-deps installs it)"
        exit 77
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"
"$cmake" --install "$build" --prefix "$root" >/dev/null

failed=0
fail()
{
    echo "FAIL: $*"
    failed=1
}

desktop="$root/share/applications/$app_id.desktop"
metainfo="$root/share/metainfo/$app_id.metainfo.xml"
[ -f "$desktop" ] || fail "the menu entry was not installed as $desktop"
[ -f "$metainfo" ] || fail "the AppStream description was not installed as $metainfo"
[ $failed -eq 0 ] || exit 1

# desktop-file-validate exits 0 on mere warnings; any output at all counts as a failure here.
remarks=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects the menu entry"
[ -z "$remarks" ] || { printf '%s\n' "$remarks"; fail "desktop-file-validate has remarks"; }

# --strict fails on warnings and informational remarks too; validate-tree also checks that the
# description's launchable names a menu entry that is installed beside it. Two remarks are
# expected and pass: the project has no public address yet, so the description names no
# homepage (a made-up one would send users nowhere), and appstreamcli before 1.0 does not know
# the developer element that later ones require.
expected='url-homepage-missing$'
case $(appstreamcli --version | sed -n 's/^AppStream version: //p') in
0.*) expected="$expected|unknown-tag developer$" ;;
esac
validate()
{
    out=$(appstreamcli "$@" --no-net --strict 2>&1) && return 0
    printf '%s\n' "$out"
    printf '%s\n' "$out" | grep -E '^ *[EWI]: ' | grep -Evq -- "$expected" && return 1
    printf '%s\n' "$out" | grep -Eq '^ *[EWI]: '
}
validate validate "$metainfo" || fail "appstreamcli rejects the AppStream description"
validate validate-tree "$root" || fail "appstreamcli rejects the installed tree"

key()
{
    sed -n "s/^$1=//p" "$desktop" | head -n 1
}

exec_command=$(key Exec | cut -d ' ' -f 1)
[ -x "$root/$launcher" ] || fail "the launcher was not installed as $launcher"
[ "$exec_command" = "$(basename "$launcher")" ] || fail "Exec=$exec_command does not run the launcher $launcher"

icon=$(key Icon)
[ "$icon" = "$app_id" ] || fail "Icon=$icon, expected the application id $app_id"
for size in 16 22 24 32 48 64 128 256; do
    [ -s "$root/share/icons/hicolor/${size}x${size}/apps/$icon.png" ] \
        || fail "no $size x $size icon $icon.png in the hicolor theme"
done
[ -s "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"

newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$newest" = "$version" ] \
    || fail "the newest release in the AppStream description is '$newest', the project's version is $version"

[ $failed -eq 0 ] && echo "PASS: menu entry, AppStream description and icons"
exit $failed
