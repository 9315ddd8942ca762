#!/usr/bin/env bash
# Installs the build into a private prefix and checks what a user's system gets: the program
# alone in bin/, the manual and man page in their places, a desktop entry and AppStream data that
# their validators accept. Usage: check-layout.sh BUILD-DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check-layout: $*" >&2; exit 1; }
[ "$(ls "$prefix/bin")" = quillex ] || fail "bin/ holds more than the program: $(ls "$prefix/bin" | tr '\n' ' ')"
[ -d "$prefix/share/doc/quillex" ] || fail "no share/doc/quillex"
if [ -f "$build/quillex.pdf" ]; then
  [ -f "$prefix/share/doc/quillex/quillex.pdf" ] || fail "the manual is not in share/doc/quillex"
fi
man1="$prefix/share/man/man1/quillex.1"
[ -f "$man1" ] || fail "no man page"
# Every setting the program reads has its entry.
for setting in Source Target Subdir RegExt SkipHidden ThreadsCount IsOverwrite KeepTargetSubdirs KeepFileTime \
               DeleteSource RenameSource AppVisible ReadOnly SkipPassword Ansi PageBreaks PureConsole RunAndClose \
               Daemon LogFile ConvertTimeout Shard; do
  grep -q "^\.B $setting\$" "$man1" || fail "the man page lacks the setting $setting"
done
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man1" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || fail "man page warnings: $warnings"
desktop-file-validate "$prefix/share/applications/quillex.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/org.example.quillex.metainfo.xml" >/dev/null \
  || appstreamcli validate --no-net "$prefix/share/metainfo/org.example.quillex.metainfo.xml"
[ -f "$prefix/share/icons/hicolor/scalable/apps/quillex.svg" ] || fail "no icon"
echo "check-layout: install layout is sound"
