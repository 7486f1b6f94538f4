#!/usr/bin/env bash
# Checks the built Debian package without installing it: exactly the expected files (nothing of
# the tests, benchmarks or build tree), the control fields the programs need, one version in the
# control fields, changelog, AppStream file and manual pages, PNG icons of the sizes their
# folders name, a valid desktop entry and AppStream file, no lintian error and no lintian
# hardening tag.
# Usage: packaging/check-package.sh [package.deb]   (default: the one build/talyx_*.deb)
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "check-package: $*" >&2
  exit 1
}

if [ $# -ge 1 ]; then
  deb=$1
else
  debs=(build/talyx_*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] ||
    fail "expected exactly one build/talyx_*.deb (make package builds it), found: ${debs[*]}"
  deb=${debs[0]}
fi
[ -f "$deb" ] || fail "$deb: no such package"
for tool in dpkg-deb lintian desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || fail "$tool is needed (make deps installs it)"
done

id=org.talyx.Talyx
expected=(
  ./usr/bin/talyx
  ./usr/bin/talyx-sim
  "./usr/share/applications/$id.desktop"
  "./usr/share/metainfo/$id.metainfo.xml"
  "./usr/share/icons/hicolor/scalable/apps/$id.svg"
  ./usr/share/man/man1/talyx.1.gz
  ./usr/share/man/man1/talyx-sim.1.gz
  ./usr/share/doc/talyx/copyright
  ./usr/share/doc/talyx/changelog.gz
)
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  expected+=("./usr/share/icons/hicolor/${size}x$size/apps/$id.png")
done

# Every entry that is not a folder, by path.
actual=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
missing=$(comm -13 <(echo "$actual") <(echo "$wanted"))
unexpected=$(comm -23 <(echo "$actual") <(echo "$wanted"))
[ -z "$missing" ] || fail "$deb lacks:"$'\n'"$missing"
[ -z "$unexpected" ] || fail "$deb holds files it must not:"$'\n'"$unexpected"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = talyx ] || fail "Package is '$(field Package)', not talyx"
[ "$(field Section)" = comm ] || fail "Section is '$(field Section)', not comm"
for library in libc6 libqt6widgets6 libqt6gui6 libqt6core6 libjpeg62-turbo; do
  field Depends | grep -Eq "(^|, )$library( |,|$)" ||
    fail "Depends lacks $library (shlibs): $(field Depends)"
done
for recommended in fonts-wqy-zenhei qt6-translations-l10n; do
  field Recommends | grep -Eq "(^|, )$recommended( |,|$)" ||
    fail "Recommends lacks $recommended: $(field Recommends)"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$deb" "$root"

# One version throughout: the first changelog entry, the AppStream release and both manual
# pages name the package's own version (the project's version in CMakeLists.txt).
version=$(field Version)
zcat "$root/usr/share/doc/talyx/changelog.gz" | head -n 1 | grep -Fq "talyx ($version) " ||
  fail "the changelog's first entry is not for version $version"
grep -Fq "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the AppStream file has no release $version"
for page in talyx talyx-sim; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -Fq "\"TALYX $version\"" ||
    fail "the manual page $page.1 does not name version $version"
done

# A PNG file's width and height are the big-endian words at bytes 16 and 20.
for size in "${sizes[@]}"; do
  png=$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png
  read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
  [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
    fail "${size}x$size/apps/$id.png is ${width}x$height"
done

desktop-file-validate "$root/usr/share/applications/$id.desktop" ||
  fail "the desktop entry is not valid"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the AppStream file is not valid"

# -I adds the informational tags, among them hardening-no-fortify-functions and
# hardening-no-bindnow: any hardening tag means a program lacks the distribution's hardening.
report=$(lintian -I --fail-on error "$deb") || {
  echo "$report"
  fail "lintian found errors in $deb"
}
[ -z "$report" ] || echo "$report"
hardening=$(grep -E '^[A-Z]: [^ ]+: hardening-' <<<"$report" || true)
[ -z "$hardening" ] || fail "$deb is not fully hardened:"$'\n'"$hardening"
echo "check-package: $deb holds the ${#expected[@]} expected files and passes its checks"
