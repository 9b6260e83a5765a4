#!/usr/bin/env bash
# The manual page of zorvi-unzip: man --warnings finds nothing in it (its output and
# status), and it keeps up with the program: every option and every exit status that
# zorvi-unzip --help lists has its paragraph in the page.
# Arguments: the page (man/zorvi-unzip.1), the zorvi-unzip program.
set -euo pipefail
page=$1
unzip=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ -s "$page" ] || fail "no manual page at $page"
command -v man >/dev/null || fail "man is not installed (man-db; tools/install-deps.sh)"

# The rendered page goes nowhere; what man and groff say about the page is what counts.
export LC_ALL=C.UTF-8 MANWIDTH=80
set +e
warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
status=$?
set -e
[ "$status" -eq 0 ] || fail "man --warnings -l $page ended with status $status: $warnings"
[ -z "$warnings" ] || fail "man --warnings -l $page warns:"$'\n'"$warnings"

# The page as text, wide enough that every paragraph tag stays on its own line.
text=$(MANWIDTH=200 man -l "$page" 2>/dev/null | sed 's/.\x08//g')
help=$("$unzip" --help)

# Options: the tags of the option lines of --help ("  -d DIR  ...", "  -h, --help  ...").
options=$(sed -nE 's/^  (-[^ ,]+)(, (--[a-z]+))?( .*)?$/\1 \3/p' <<<"$help" | tr ' ' '\n' | grep .)
[ "$(wc -l <<<"$options")" -ge 15 ] || fail "too few options read from --help: $options"
for option in $options; do
    # A paragraph tag of the page: seven blanks, the option, then its value or the end.
    grep -qE -- "^ {7}(-[^ ]+, )?$option( |,|$)" <<<"$text" ||
        fail "the manual page has no paragraph for $option"
done

# Exit statuses: the numbers of the "Exit status" lines of --help and the tags of the
# page's EXIT STATUS section.
listed=$(sed -n '/^Exit status:/,$p' <<<"$help" | sed -nE 's/^  ([0-9]+)  .*/\1/p')
documented=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$text" | sed -nE 's/^ {7}([0-9]+) .*/\1/p')
[ -n "$listed" ] || fail "--help lists no exit status"
[ "$listed" = "$documented" ] ||
    fail "exit statuses: --help lists $(tr '\n' ' ' <<<"$listed"), the page $(tr '\n' ' ' <<<"$documented")"
echo "manual page clean; $(wc -l <<<"$options") options and exit statuses $(tr '\n' ' ' <<<"$listed")documented"
