#!/usr/bin/env bash
# Installs the build into a private prefix and checks what a user's system gets: the program
# and quillex-slurm alone in bin/, the manual, man pages, copyright and changelog in their
# places, a desktop entry and AppStream data that their validators accept. Usage: check-layout.sh BUILD-DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check-layout: $*" >&2; exit 1; }
[ "$(ls "$prefix/bin" | tr '\n' ' ')" = "quillex quillex-slurm " ] ||
  fail "bin/ holds other than the program and quillex-slurm: $(ls "$prefix/bin" | tr '\n' ' ')"
help=$("$prefix/bin/quillex-slurm" --help)
grep -q '^usage: quillex-slurm ' <<<"$help" || fail "quillex-slurm --help shows no usage"
for doc in copyright changelog.gz; do
  [ -f "$prefix/share/doc/quillex/$doc" ] || fail "no $doc in share/doc/quillex"
done
[ -d "$prefix/share/doc/quillex" ] || fail "no share/doc/quillex"
if [ -f "$build/quillex.pdf" ]; then
  [ -f "$prefix/share/doc/quillex/quillex.pdf" ] || fail "the manual is not in share/doc/quillex"
fi
man1="$prefix/share/man/man1/quillex.1.gz"
[ -f "$man1" ] || fail "no man page"
[ -f "$prefix/share/man/man1/quillex-slurm.1.gz" ] || fail "no man page for quillex-slurm"
manText=$(zcat "$man1")
# Every setting the program reads has its entry.
for setting in Source Target Subdir RegExt SkipHidden ThreadsCount IsOverwrite KeepTargetSubdirs KeepFileTime \
               DeleteSource RenameSource AppVisible ReadOnly SkipPassword Ansi PageBreaks PureConsole RunAndClose \
               Daemon LogFile ConvertTimeout Shard; do
  grep -q "^\.B $setting\$" <<<"$manText" || fail "the man page lacks the setting $setting"
done
for page in "$man1" "$prefix/share/man/man1/quillex-slurm.1.gz"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "man page warnings in $page: $warnings"
done
desktop-file-validate "$prefix/share/applications/quillex.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/org.example.quillex.metainfo.xml" >/dev/null \
  || appstreamcli validate --no-net "$prefix/share/metainfo/org.example.quillex.metainfo.xml"
[ -f "$prefix/share/icons/hicolor/scalable/apps/quillex.svg" ] || fail "no icon"
echo "check-layout: install layout is sound"
