#!/usr/bin/env bash
# deb_test.sh BUILD_DIR OUT_DIR: makes the package from the build tree into OUT_DIR and
# checks it as a Debian archive: lintian without errors, the files in their places with
# their modes, dependencies from what the programs link, valid desktop data.
set -euo pipefail
BUILD="$1"
OUT="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$OUT"
mkdir -p "$OUT"
(cd "$BUILD" && cpack --config CPackConfig.cmake -B "$OUT" >"$OUT/cpack.log" 2>&1) ||
  { cat "$OUT/cpack.log"; fail "cpack"; }
shopt -s nullglob
debs=("$OUT"/quvsms_*_*.deb)
((${#debs[@]} == 1)) || fail "expected one quvsms_<version>_<arch>.deb, found: ${debs[*]:-none}"
DEB="${debs[0]}"
echo "package: $DEB"

echo "== lintian"
lintian --info --display-level '>=pedantic' --tag-display-limit 0 "$DEB" >"$OUT/lintian.txt" 2>&1 || true
cat "$OUT/lintian.txt"
if grep -q '^E: ' "$OUT/lintian.txt"; then fail "lintian reports errors"; fi

echo "== contents"
dpkg-deb -c "$DEB" >"$OUT/contents.txt"
# "mode path" for every entry; links keep their target after " -> ".
awk '{ mode = $1; $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print mode, $0 }' "$OUT/contents.txt" >"$OUT/entries.txt"
expect_entry() {  # MODE PATH
  grep -qxF -- "$1 $2" "$OUT/entries.txt" || fail "missing '$1 $2'"
}
expect_entry "lrwxrwxrwx" "./usr/bin/zella -> ../lib/quvsms/zella"
expect_entry "-rwxr-xr-x" "./usr/lib/quvsms/zella"
for lib in zella_platform acctdb mmsclnk tlslnk ucplnk cimdlnk smpplnk waplnk; do
  expect_entry "-rw-r--r--" "./usr/lib/quvsms/lib$lib.so"
done
expect_entry "-rw-r--r--" "./lib/systemd/system/QuvSMS.service"
expect_entry "-rw-r--r--" "./usr/lib/sysusers.d/quvsms.conf"
expect_entry "-rw-r--r--" "./usr/lib/tmpfiles.d/quvsms.conf"
expect_entry "-rw-r--r--" "./usr/share/polkit-1/actions/org.quvsms.zella.gateway-console.policy"
expect_entry "-rw-r--r--" "./usr/share/applications/org.quvsms.zella.desktop"
expect_entry "-rw-r--r--" "./usr/share/metainfo/org.quvsms.zella.metainfo.xml"
expect_entry "-rw-r--r--" "./usr/share/icons/hicolor/scalable/apps/zella.svg"
expect_entry "-rw-r--r--" "./usr/share/man/man1/zella.1.gz"
expect_entry "-rw-r--r--" "./usr/share/man/man8/zellant.8.gz"
expect_entry "-rw-r--r--" "./usr/share/quvsms/manual/quvsms.pdf"
expect_entry "-rw-r--r--" "./usr/share/quvsms/manual/quvsms.html"
expect_entry "-rw-r--r--" "./usr/share/doc/quvsms/copyright"
expect_entry "-rw-r--r--" "./usr/share/doc/quvsms/changelog.Debian.gz"
# The data tree is made on the machine (tmpfiles), never shipped; test programs stay out.
if grep -q '\./var/' "$OUT/entries.txt"; then fail "the package ships files below /var"; fi
if grep -Eq 'standin|_test$|modemsim|zella-unit-text' "$OUT/entries.txt"; then
  fail "the package ships test programs: $(grep -E 'standin|_test$|modemsim|zella-unit-text' "$OUT/entries.txt")"
fi
# The services are packed once the build makes them.
for service in zellant mmscnt; do
  if [[ -x "$BUILD/bin/$service" ]]; then expect_entry "-rwxr-xr-x" "./usr/lib/quvsms/$service"; fi
done

echo "== control"
dpkg-deb -f "$DEB" Package Version Architecture Depends Recommends
depends="$(dpkg-deb -f "$DEB" Depends)"
for dep in libc6 libqt6widgets6 libssl3 libsqlite3-0 libsystemd0 'systemd | systemd-standalone-sysusers'; do
  [[ "$depends" == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
done
dpkg-deb -I "$DEB" postinst >/dev/null && dpkg-deb -I "$DEB" prerm >/dev/null &&
  dpkg-deb -I "$DEB" postrm >/dev/null || fail "maintainer scripts missing"

echo "== desktop entry, metainfo, polkit action"
ROOT="$OUT/root"
dpkg-deb -x "$DEB" "$ROOT"
desktop-file-validate "$ROOT/usr/share/applications/org.quvsms.zella.desktop"
appstreamcli validate --no-net "$ROOT/usr/share/metainfo/org.quvsms.zella.metainfo.xml"
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/lib/quvsms/zella</annotate>' \
  "$ROOT/usr/share/polkit-1/actions/org.quvsms.zella.gateway-console.policy" ||
  fail "the polkit action does not name the installed console"
zcat "$ROOT/usr/share/man/man8/zellant.8.gz" | grep -q '^\.TH "ZELLANT" "8"' || fail "zellant(8) is no manual page"
head -c 5 "$ROOT/usr/share/quvsms/manual/quvsms.pdf" | grep -q '%PDF-' || fail "the manual is no PDF"
echo "deb checks passed"
