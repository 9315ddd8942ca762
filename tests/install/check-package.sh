#!/usr/bin/env bash
# Builds the Debian package of BUILD-DIR into a private folder and checks it as Debian would:
# lintian reports no error and no warning, and the package holds the program, quillex-slurm,
# the copyright file and the changelog. Usage: check-package.sh BUILD-DIR. Exit 77: skipped.
set -uo pipefail
build=$1
for tool in lintian dpkg-deb dpkg-shlibdeps; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed (scripts/setup, scripts/package)"; exit 77; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || fail "cpack failed: $(tail -5 "$out/cpack.log")"
deb=$(ls "$out"/quillex_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "cpack made no package"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/quillex ./usr/bin/quillex-slurm ./usr/share/doc/quillex/copyright \
            ./usr/share/doc/quillex/changelog.gz ./usr/share/man/man1/quillex-slurm.1.gz; do
  grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done
# Root is fine here: the package is only read.
lintian --fail-on error,warning "$deb" >"$out/lintian.txt" 2>&1
status=$?
grep -v 'running with root privileges' "$out/lintian.txt"
[ "$status" -eq 0 ] || fail "lintian reports errors or warnings (above)"
echo "check-package: $(basename "$deb") is lintian-clean"
