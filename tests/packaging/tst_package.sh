#!/usr/bin/env bash
# `cmake --install` lays out the program, its desktop entry and its icon, and
# the Debian package carries the same, with the dependencies its libraries
# need, and passes lintian.
# Usage: tst_package.sh BUILD_DIR [webkit]
set -euo pipefail
build=$1
webkit=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "PASS: $what"; else fail "$what"; fi; }

# The layout of an install into a prefix of our own.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
entry=$prefix/share/applications/quillnook.desktop
icon=$prefix/share/icons/hicolor/scalable/apps/quillnook.svg
check "the executable is installed" test -x "$prefix/bin/quillnook"
check "the desktop entry is installed" test -f "$entry"
check "the icon is installed in the hicolor theme" test -f "$icon"
check "the icon is an SVG image" grep -q '<svg' "$icon"
validation=$(desktop-file-validate "$entry" 2>&1) || true
check "desktop-file-validate accepts the entry${validation:+: $validation}" test -z "$validation"
check "the entry is named Quillnook" grep -qx 'Name=Quillnook' "$entry"
check "the entry is a utility" grep -qx 'Categories=Utility;' "$entry"
check "the entry's icon is the installed one" grep -qx 'Icon=quillnook' "$entry"
check "the installed program runs" "$prefix/bin/quillnook" --version
if [ "$webkit" = webkit ]; then
    module=$(find "$prefix/lib" -path '*/quillnook/quillnook_webkit.so')
    check "the web engine module is installed under lib/quillnook" test -n "$module"
fi

# The package.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null)
debs=("$work"/deb/quillnook_*.deb)
check "one package named quillnook_<version>_<arch>.deb" test "${#debs[@]}" -eq 1 -a -f "${debs[0]}"
deb=${debs[0]}
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Depends covers every library the program and the web engine module link:
# each one's package is named there.
deb_list=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
extract=$work/extract
dpkg-deb -x "$deb" "$extract"
cache=$(ldconfig -p)
for elf in "$extract"/usr/bin/quillnook $(find "$extract/usr/lib" -name '*.so' 2>/dev/null); do
    for lib in $(objdump -p "$elf" | awk '/NEEDED/ {print $2}'); do
        path=$(awk -v lib="$lib" '$1 == lib && !found {print $NF; found = 1}' <<<"$cache")
        # dpkg knows a library by the path its package put it at, which
        # may be a link on a merged-/usr system, or by where it leads.
        owner=$(dpkg -S "$path" 2>/dev/null | sed -n '1s/:.*//p') || true
        [ -n "$owner" ] || owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | sed -n '1s/:.*//p') || true
        check "Depends names $owner, which holds $lib ($(basename "$elf") links it)" \
            grep -qxF "$owner" <<<"$deb_list"
    done
done
check "Depends asks for a minimum version of libqt6core6" grep -Eq 'libqt6core6 \(>= [0-9]' <<<"$depends"
check "Depends asks for Qt's SVG icon engine from the same Qt" grep -Eq 'libqt6svg6 \(>= [0-9]' <<<"$depends"
# Every name is one Debian knows (apt's own lists, read locally).
for pkg in $(tr ',|' '\n\n' <<<"$depends, $(dpkg-deb -f "$deb" Recommends)" | awk '{print $1}' | grep .); do
    check "$pkg is a Debian package" bash -c "apt-cache show '$pkg' >/dev/null 2>&1"
done
check "the package is for this machine's architecture" test "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)"
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/quillnook ./usr/share/applications/quillnook.desktop \
    ./usr/share/icons/hicolor/scalable/apps/quillnook.svg; do
    check "the package holds $path" grep -q " $path\$" <<<"$contents"
done
check "apt would install it (simulated)" bash -c "apt-get install --simulate -qq '$deb' >/dev/null 2>&1"
if [ "$webkit" = webkit ]; then
    check "the package holds the web engine module" grep -Eq ' \./usr/lib/.*quillnook/quillnook_webkit\.so$' <<<"$contents"
fi
for path in ./usr/share/doc/quillnook/copyright ./usr/share/doc/quillnook/changelog.Debian.gz \
    ./usr/share/man/man1/quillnook.1.gz; do
    check "the package holds $path" grep -q " $path\$" <<<"$contents"
done
check "the manual page documents --toggle" bash -c "zcat '$extract/usr/share/man/man1/quillnook.1.gz' | grep -q 'toggle'"
# Debian's own checker, on the package as it would be uploaded.
lintian_out=$(lintian --allow-root --tag-display-limit 0 --display-level '>=warning' "$deb" 2>&1) || true
echo "$lintian_out" | sed 's/^/lintian: /'
check "lintian reports no errors or warnings" bash -c "! grep -Eq '^[EW]: ' <<<\"\$0\"" "$lintian_out"
check "the package holds no test programs" bash -c "! grep -q 'tst_' <<<\"\$0\"" "$contents"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "All package checks passed"
