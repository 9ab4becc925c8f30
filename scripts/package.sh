#!/usr/bin/env bash
# Builds the Debian package dist/cablemeter_<version>_<arch>.deb: a release build of the three
# programs in build-package/ (or $CABLEMETER_PACKAGE_BUILD_DIR) with Debian's hardening flags,
# packed by CPack; its Depends come from dpkg-shlibdeps.
#   scripts/package.sh            build the package
#   scripts/package.sh --check    build it, unpack it into a throwaway root and check it there:
#                                 lintian, desktop-file-validate, appstreamcli validate, and the
#                                 installed programs against the installed demo meter
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_PACKAGE_BUILD_DIR:-$top/build-package}
dist=$top/dist
check=false
case "${1:-}" in
    "") ;;
    --check) check=true ;;
    *) echo "Usage: scripts/package.sh [--check]" >&2; exit 2 ;;
esac

"$top/scripts/install-deps.sh" build package

# The flags a Debian build uses, all hardening on (stack protector, fortified functions, read-only
# relocations bound at start-up).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)" >"$build/package-build.log" 2>&1 ||
    { tail -n 40 "$build/package-build.log" >&2; exit 1; }

rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack" >"$build/cpack.log" 2>&1) ||
    { cat "$build/cpack.log" >&2; exit 1; }
mkdir -p "$dist"
package=$(find "$build/cpack" -maxdepth 1 -name 'cablemeter_*.deb' -print -quit)
[ -n "$package" ] || { echo "CPack made no package:" >&2; cat "$build/cpack.log" >&2; exit 1; }
cp "$package" "$dist/"
package="$dist/$(basename "$package")"
echo "$package ($(du -k "$package" | cut -f1) KiB)"
dpkg-deb --field "$package" Version Depends

$check || exit 0

root=$(mktemp -d)
sim=""
trap 'if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; fi; rm -rf "$root"' EXIT
dpkg-deb -x "$package" "$root"
echo "== lintian"
lintian --fail-on error --info "$package"
echo "== desktop-file-validate"
desktop-file-validate "$root"/usr/share/applications/*.desktop
echo "== appstreamcli validate"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

echo "== cmake --install under another prefix gives the package's tree"
cmake --install "$build" --prefix "$root/elsewhere" >/dev/null
diff <(cd "$root/usr" && find . -type f | sort) <(cd "$root/elsewhere" && find . -type f | sort)
rm -rf "$root/elsewhere"
echo "same $(cd "$root/usr" && find . -type f | wc -l) files"

echo "== the unpacked programs against the unpacked demo meter"
bin="$root/usr/bin"
for program in cablemeter cablemeter-cli cablemeter-sim; do
    QT_QPA_PLATFORM=offscreen "$bin/$program" --version
done
"$bin/cablemeter-sim" --image "$root/usr/share/cablemeter/demo-meter.bin" --pacing unpaced \
    --link "$root/meter" >"$root/sim.out" 2>"$root/sim.log" &
sim=$!
for _ in $(seq 50); do [ -s "$root/sim.out" ] && break; sleep 0.1; done
# export draws every screen on the background found in ../share/cablemeter beside the program.
(cd "$root" && "$bin/cablemeter-cli" catalogue --port "$root/meter" >catalogue.txt 2>/dev/null)
(cd "$root" && "$bin/cablemeter-cli" export --port "$root/meter" --dir exported >/dev/null 2>export.log)
if grep -q "ZNull.ovl" "$root/export.log"; then
    echo "The unpacked cablemeter-cli did not find its screen background:" >&2
    cat "$root/export.log" >&2
    exit 1
fi
echo "catalogue: $(wc -l <"$root/catalogue.txt") records listed; export: $(find "$root/exported" -name '*.png' | wc -l) pictures"
