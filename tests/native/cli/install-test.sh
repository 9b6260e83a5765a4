#!/usr/bin/env bash
# cmake --install of zorvi-unzip into a temporary prefix: the program in bin/, its manual
# page where man finds it (MANPATH), its completion where bash-completion looks, each the
# same as in the tree, and the installed program runs.
# Arguments: the build folder, the source folder.
set -euo pipefail
build=$1
source=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" --component zorvi-unzip >/dev/null ||
    fail "cmake --install failed"
program=$prefix/bin/zorvi-unzip
page=$prefix/share/man/man1/zorvi-unzip.1
completion=$prefix/share/bash-completion/completions/zorvi-unzip
[ -x "$program" ] || fail "no program at $program"
cmp -s "$page" "$source/man/zorvi-unzip.1" || fail "$page is not man/zorvi-unzip.1"
cmp -s "$completion" "$source/completions/zorvi-unzip" ||
    fail "$completion is not completions/zorvi-unzip"

found=$(MANPATH=$prefix/share/man man -w zorvi-unzip) || fail "man does not find the page"
[ "$found" = "$page" ] || fail "man finds $found instead of $page"
version=$("$program" --version) || fail "the installed program does not run"
[[ $version == "zorvi-unzip "[0-9]* ]] || fail "the installed program prints '$version'"
# Nothing but the component's three files.
count=$(find "$prefix" -type f | wc -l)
[ "$count" -eq 3 ] || fail "$count files installed: $(find "$prefix" -type f)"
echo "installed: $version, its manual page and completion"
