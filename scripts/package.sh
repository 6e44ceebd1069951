#!/usr/bin/env bash
# Builds Tallyrig's Debian package from a release build (optimised, assertions off, stripped,
# linked with immediate binding; compiled as the test stages compile, so that CI's package check
# reuses their compilations) and prints its path: the bundle under /opt/tallyrig as the build makes it, the reference bridge
# included and its runtime a link to the Node.js the package depends on; a `tallyrig` command; the
# desktop entry, the AppStream metainfo, the icons and the manual page. Its dependencies are what its
# binaries link (dpkg-shlibdeps), and what they load or run: Node.js, the toolkit's X11 platform
# plugin and the web engine's helper process.
#
# It also takes the screenshots the metainfo names, from the app itself under Xvfb, into the same
# folder as the package (a release publishes them at the metainfo's addresses), unless given
# --no-screenshots, and checks the package (packaging/check-package.sh) before it prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."

screenshots=true
[[ "${1:-}" == "--no-screenshots" ]] && screenshots=false

scripts/setup.sh --package
# The test stages compile the same sources with the same flags.
if [[ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]] && command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fi
umask 022

build=build-package
out=$build/package
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake --preset package -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >"$log" 2>&1 ||
    ! cmake --build --preset package -j "$(nproc)" >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
architecture=$(dpkg --print-architecture)
id=dev.tallyrig.Tallyrig
maintainer="The Tallyrig developers <maintainers@users.noreply.c-seed-93f5c9db.example>"
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage"
DESTDIR=$PWD/$stage cmake --install "$build" --strip >"$log" 2>&1 || { cat "$log" >&2; exit 1; }

# What Debian keeps beside every package: the copyright, a changelog, the manual page compressed, and
# why lintian's one objection does not apply.
doc=$stage/usr/share/doc/tallyrig
install -D -m 644 packaging/debian/copyright "$doc/copyright"
install -D -m 644 packaging/debian/lintian-overrides "$stage/usr/share/lintian/overrides/tallyrig"
gzip -9n "$stage/usr/share/man/man1/tallyrig.1"
# The changelog entry is the metainfo's release notes for this version.
python3 - "$stage/usr/share/metainfo/$id.metainfo.xml" "$version" "$maintainer" >"$doc/changelog" <<'PYTHON'
import email.utils, sys, textwrap, xml.etree.ElementTree as tree
from datetime import datetime, timezone
metainfo, version, maintainer = sys.argv[1:4]
release = tree.parse(metainfo).find(f"releases/release[@version='{version}']")
if release is None:
    sys.exit(f"the metainfo has no release notes for {version}")
notes = [" ".join(element.text.split()) for element in release.find("description").iter() if element.tag in ("p", "li")]
date = datetime.strptime(release.get("date"), "%Y-%m-%d").replace(tzinfo=timezone.utc)
print(f"tallyrig ({version}) unstable; urgency=medium\n")
for note in notes:
    print(textwrap.fill(note, 78, initial_indent="  * ", subsequent_indent="    "))
print(f"\n -- {maintainer}  {email.utils.format_datetime(date)}")
PYTHON
gzip -9n "$doc/changelog"

# Stripped as Debian strips, and their dependencies: what they link, read from the libraries' own
# packages, and what they load or run.
mapfile -t binaries < <(find "$PWD/$stage" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print)
strip --remove-section=.comment --remove-section=.note "${binaries[@]}"
shlibs=$out/shlibs
mkdir -p "$shlibs/debian"
printf 'Source: tallyrig\n\nPackage: tallyrig\nArchitecture: any\n' >"$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "${binaries[@]}" 2>"$log" | sed -n 's/^shlibs:Depends=//p') ||
    { cat "$log" >&2; exit 1; }
for dependency in "nodejs (>= 18)" git qt6-qpa-plugins libqt6webenginecore6-bin; do
    [[ ", $depends," == *", ${dependency%% *}"[\ ,]* ]] || depends+=", $dependency"
done
mkdir -p "$stage/DEBIAN"
cat >"$stage/DEBIAN/control" <<CONTROL
Package: tallyrig
Version: $version
Architecture: $architecture
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Recommends: at-spi2-core
Section: devel
Priority: optional
Description: point at a UI problem, describe the fix, and your agent makes it
 Tallyrig is a desktop companion for a local bridge: a small server that runs
 in your app's repository, serves a dashboard on 127.0.0.1 and hands UI-change
 reports to your coding agent.
 .
 Tallyrig opens a repository and runs its bridge, shows the bridge's
 dashboard, and keeps a panel beside the device simulator. There you point at
 an element on the simulated screen, say what should change, and follow the
 agent's work until you commit it, mark it reviewed or revert it. Everything
 stays on your computer.
CONTROL
(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum) \
    >"$stage/DEBIAN/md5sums"

deb=$out/tallyrig_${version}_${architecture}.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
packaging/check-package.sh "$deb"

if $screenshots; then
    scripts/with-desktop.sh --compositor packaging/screenshots.sh "$build/Tallyrig.app/Contents/MacOS/Tallyrig" \
        "$out/screenshots" >/dev/null
fi
echo "$PWD/$deb"
