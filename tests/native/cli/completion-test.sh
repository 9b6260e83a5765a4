#!/usr/bin/env bash
# The bash completion of zorvi-unzip, sourced into a plain bash (no bash-completion
# package) and asked as bash asks it: COMP_WORDS and COMP_CWORD set, the function called,
# COMPREPLY read. The options it offers are those zorvi-unzip --help lists, and the masks
# after an archive are that archive's entry names.
# Arguments: the completion script, the zorvi-unzip program, an archive of the corpus.
set -euo pipefail
script=$1
unzip=$2
archive=$3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ -s "$script" ] || fail "no completion script at $script"
[ -s "$archive" ] || fail "no test archive at $archive"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out" "$work/outer"
touch "$work/old.zip" "$work/other.txt" "$work/split.001"
cp "$archive" "$work/pack.zip"
cd "$work"

# The candidates for a command line (its last word is the one completed: an empty one
# after a trailing blank), one a line, sorted.
candidates() {
    bash --norc --noprofile -c '
        . "$1" || exit 1
        read -ra COMP_WORDS <<<"$2"
        [[ $2 == *" " ]] && COMP_WORDS+=("")
        COMP_WORDS[0]=$3
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _zorvi_unzip
        printf "%s\n" "${COMPREPLY[@]}"' completion "$script" "$1" "$unzip" | sed '/^$/d' | sort
}

# The options of --help: the tags of its option lines.
options=$("$unzip" --help | sed -nE 's/^  (-[^ ,]+)(, (--[a-z]+))?( .*)?$/\1 \3/p' |
    tr ' ' '\n' | grep . | sort)
[ "$(wc -l <<<"$options")" -ge 15 ] || fail "too few options read from --help: $options"

failures=0
expect() { # command line, expected candidates separated by blanks
    local got wanted
    got=$(candidates "$1" | tr '\n' ' ' | sed 's/ $//')
    wanted=$(tr ' ' '\n' <<<"$2" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')
    if [ "$got" != "$wanted" ]; then
        echo "FAIL: '$1' offers '$got', expected '$wanted'" >&2
        failures=$((failures + 1))
    fi
}

expect "zorvi-unzip -" "$(tr '\n' ' ' <<<"$options")"
expect "zorvi-unzip --v" "--version"
expect "zorvi-unzip --h" "--help"
expect "zorvi-unzip -q pack.zip -" "$(tr '\n' ' ' <<<"$options")" # options may follow the archive
expect "zorvi-unzip -o if" "ifnewer ifolder"
expect "zorvi-unzip -i " "bad multi notazip"
expect "zorvi-unzip -s c" "csize"
expect "zorvi-unzip -d ou" "out outer"
expect "zorvi-unzip -P " ""
expect "zorvi-unzip " "old.zip out outer pack.zip split.001"
expect "zorvi-unzip -d -o " "old.zip out outer pack.zip split.001" # "-o" is the folder
expect "zorvi-unzip -- -" ""                                      # no file begins with -
expect "zorvi-unzip pack.zip src/" "src/ src/lib/ src/lib/util.c src/main.c"
expect "zorvi-unzip -x d pack.zip READ" "README.txt"
[ "$failures" -eq 0 ] || exit 1
echo "completion: every case offers what it should"
