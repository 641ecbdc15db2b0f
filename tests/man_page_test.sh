#!/usr/bin/env bash
# Checks one tool's manual page against the built tool:
#   man_page_test.sh TOOL PAGE [SOURCE TITLE]...
# The page must format without a single groff warning; its PARAMETERS items must be
# exactly the names the tool lists after "expected parameters:" when given an unknown
# name, in the same order; a tool that answers --help lists the page's parameters and
# OPTIONS there; and for each SOURCE, the commands that file matches must be exactly
# the items under the page's section or subsection TITLE.
# Every failure is reported before the exit status says so.
set -uo pipefail
tool="$1"
page="$2"
[[ "$tool" == /* ]] || tool="$PWD/$tool"
shift 2
failures=0

fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The item headings under a section (.SH, subsections included) or subsection (.SS)
# of the page: the line after each .TP or .TQ, as the reader sees it (macro, quotes,
# font and hyphen escapes gone). An all-italic heading (.I) stands for a typed value,
# not a name, and is left out.
item_headings()
{
    awk -v title="$1" '
        function heading_title(line) { sub(/^\.S[HS] +/, "", line); gsub(/"/, "", line); return line }
        /^\.SH / { in_section = heading_title($0) == title; in_subsection = 0; next }
        /^\.SS / { in_subsection = heading_title($0) == title; next }
        (in_section || in_subsection) && /^\.T[PQ]/ { take = 1; next }
        take { if ($0 !~ /^\.I /) print; take = 0 }' "$page" |
        sed -E 's/^\.[A-Z]+ +//; s/"//g; s/\\f[A-Z]//g; s/\\-/-/g; s/\\%//g; s/\\&//g; s/ +$//'
}

# The commands a dialogue source file matches, one per line, in the form the page
# shows them: exact commands and answer words as typed, number commands as "word #"
# (the page adds a placeholder), a line range as "A-B".
source_commands()
{
    grep -o -E 'match_exact\(text, "[^"\\]*\\n"\)|match_number_command\(text, "[^"]*"|match_line_range\(|is_word\([a-z_]+, "[^"]*"\)' "$1" |
        sed -E 's/^match_exact\(text, "([^"\\]*)\\n"\)$/\1/; s/^match_number_command\(text, "([^"]*)"$/\1 #/;
                s/^match_line_range\($/A-B/; s/^is_word\([a-z_]+, "([^"]*)"\)$/\1/' |
        sort -u
}

# 1. Formatting: any warning from groff (all of them enabled) fails.
if [[ ! -f "$page" ]]; then
    fail "$tool has no manual page $page"
    exit 1
fi
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null)
[[ -z "$warnings" ]] || fail "man --warnings=w -l $page:"$'\n'"$warnings"

# 2. Parameters: the tool's own list against the page's items. The tool runs in an
#    empty folder of its own, so nothing it might write lands anywhere else.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && "$tool" no_such_parameter 1 </dev/null >"$work/stdout" 2>"$work/stderr")
status=$?
[[ $status -eq 1 ]] || fail "$tool with an unknown name exited $status, not 1"
listed=$(awk 'found { print; exit } /^expected parameters:$/ { found = 1 }' "$work/stderr" | sed 's/, /\n/g')
[[ -n "$listed" ]] || fail "$tool printed no line after \"expected parameters:\":"$'\n'"$(cat "$work/stderr")"
documented=$(item_headings PARAMETERS | awk '{ print $1 }')
if [[ "$listed" != "$documented" ]]; then
    fail "parameters of $tool (left) and of its page (right) differ:"$'\n'"$(diff <(echo "$listed") <(echo "$documented"))"
fi

# 3. Options: a tool that answers --help (or whose page has OPTIONS) answers it and
#    --version on standard output with status 0; its page's OPTIONS are the options
#    its --help lists, and its --help's parameters are the page's.
(cd "$work" && "$tool" --help </dev/null >"$work/help" 2>"$work/help_err")
status=$?
if [[ $status -eq 0 ]] || grep -q '^\.SH OPTIONS' "$page"; then
    [[ $status -eq 0 && -s "$work/help" && ! -s "$work/help_err" ]] ||
        fail "$tool --help exited $status with standard error:"$'\n'"$(cat "$work/help_err")"
    block() { awk -v head="$1" 'index($0, head) == 1 { on = 1; next } on && /^$/ { exit } on { print $1 }' "$work/help"; }
    helped=$(block "Parameters")
    if [[ "$helped" != "$documented" ]]; then
        fail "parameters of $tool --help (left) and of its page (right) differ:"$'\n'"$(diff <(echo "$helped") <(echo "$documented"))"
    fi
    options=$(block "Options:")
    if [[ "$options" != "$(item_headings OPTIONS)" ]]; then
        fail "options of $tool --help (left) and of its page (right) differ:"$'\n'"$(diff <(echo "$options") <(item_headings OPTIONS))"
    fi
    version=$(cd "$work" && "$tool" --version </dev/null 2>"$work/version_err")
    status=$?
    [[ $status -eq 0 && ! -s "$work/version_err" && "$version" =~ ^${tool##*/}\ \(ringetch\)\ [0-9]+\.[0-9]+\.[0-9]+$ ]] ||
        fail "$tool --version exited $status with: $version"
fi

# 4. Commands: each source's matched commands against its section's items.
while [[ $# -ge 2 ]]; do
    source="$1"
    title="$2"
    shift 2
    accepted=$(source_commands "$source")
    [[ -n "$accepted" ]] || fail "no commands found in $source"
    # A heading of more than one word whose first word is a number command stands
    # for it: "next V" is "next #".
    shown=$(item_headings "$title" |
        awk -v numbers="$(grep ' #$' <<<"$accepted" | cut -d' ' -f1 | tr '\n' ' ')" '
            BEGIN { n = split(numbers, list, " "); for (k = 1; k <= n; ++k) number[list[k]] = 1 }
            NF == 2 && ($1 in number) { print $1 " #"; next }
            { print }' | sort -u)
    if [[ "$accepted" != "$shown" ]]; then
        fail "commands of $source (left) and of the page's \"$title\" (right) differ:"$'\n'"$(diff <(echo "$accepted") <(echo "$shown"))"
    fi
done

if [[ $failures -gt 0 ]]; then
    echo "$failures check(s) of $page failed" >&2
    exit 1
fi
echo "$page: formats without warnings; parameters and commands match $tool"
