#!/usr/bin/env bash
# Checks Tallyrig's Debian package without installing it: lintian finds no error and no warning, the
# desktop entry passes desktop-file-validate and the metainfo appstreamcli (offline), and the package
# holds exactly what it should: the bundle with the reference bridge as it is in the source, its
# runtime a link to the Node.js the package depends on, the command, the entry, the metainfo for
# this version, the icon at every size, the manual page and Debian's documents.
# Argument: the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(realpath "$1")
id=dev.tallyrig.Tallyrig
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
problems=0
fail() {
    echo "package check: $*" >&2
    problems=$((problems + 1))
}

lintian --allow-root --no-tag-display-limit "$deb" >"$work/lintian" 2>&1 || true
if grep -E '^[EW]: ' "$work/lintian" >&2; then
    fail "lintian reports the errors and warnings above"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >"$work/appstream" 2>&1 ||
    { cat "$work/appstream" >&2; fail "the metainfo does not validate"; }

version=$(dpkg-deb -f "$deb" Version)
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo has no release notes for $version"
for dependency in nodejs qt6-qpa-plugins libqt6webenginecore6-bin libqt6widgets6 libqt6webenginewidgets6; do
    dpkg-deb -f "$deb" Depends | grep -qE "(^|, )$dependency( |,|$)" || fail "it does not depend on $dependency"
done

# Every file and link the package holds, against the list of what it should hold.
contents=/opt/tallyrig/Tallyrig.app/Contents
{
    echo "$contents/MacOS/Tallyrig"
    echo "$contents/PlugIns/libtallyrig_dashboard.so"
    echo "$contents/Helpers/node -> /usr/bin/node"
    # The modules without what devbridge/prune-modules.cmake leaves out.
    (cd devbridge && find bin lib package.json package-lock.json node_modules \( -name '.*' ! -path node_modules/.package-lock.json \
        -o -path 'node_modules/@modelcontextprotocol/sdk/dist/*/examples' \) -prune -o -type f -print) |
        sed "s|^|$contents/Resources/bridge/|"
    echo "/usr/bin/tallyrig -> $contents/MacOS/Tallyrig"
    echo "/usr/share/applications/$id.desktop"
    echo "/usr/share/metainfo/$id.metainfo.xml"
    echo "/usr/share/icons/hicolor/scalable/apps/$id.svg"
    for size in 16 22 24 32 48 64 128 256 512; do
        echo "/usr/share/icons/hicolor/${size}x$size/apps/$id.png"
    done
    echo "/usr/share/man/man1/tallyrig.1.gz"
    echo "/usr/share/doc/tallyrig/copyright"
    echo "/usr/share/doc/tallyrig/changelog.gz"
    echo "/usr/share/lintian/overrides/tallyrig"
} | sort >"$work/expected"
dpkg-deb --fsys-tarfile "$deb" | tar -t -v | awk '$1 !~ /^d/ { $1=$2=$3=$4=$5=""; sub(/^ +\./, ""); print }' |
    sort >"$work/held"
if ! diff -u "$work/expected" "$work/held" >"$work/difference"; then
    cat "$work/difference" >&2
    fail "it does not hold what it should (- missing, + unexpected)"
fi

# Each PNG is as large as the folder it is in says.
for size in 16 22 24 32 48 64 128 256 512; do
    png="$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png"
    [[ -f "$png" ]] || continue
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4, $7 * 256 + $8 }')
    [[ "$width $height" == "$size $size" ]] || fail "the ${size}x$size icon is ${width}x$height"
done
file "$root$contents/MacOS/Tallyrig" | grep -q 'stripped$' && ! file "$root$contents/MacOS/Tallyrig" | grep -q 'not stripped' ||
    fail "the executable is not stripped"

((problems == 0)) || exit 1
echo "package check: $(basename "$deb") is fine"
