#!/usr/bin/env bash
# Reads the compiled help file back with 7-Zip and checks that it is a compiled help file, that
# every page of the sources, every topic of the contents and of the index is inside, and that
# no page links to a page, anchor or picture that is not there.
# Usage: check_help.sh <7-Zip> <QORHelp.chm> <help source folder>
set -uo pipefail
sevenzip=$1
chm=$2
sources=$3
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

[ -f "$chm" ] || { echo "FAIL: no help file at $chm" >&2; exit 1; }
[ "$(head -c 4 "$chm")" = "ITSF" ] || fail "$chm does not begin like a compiled help file"

work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-help.XXXXXX")
trap 'rm -rf "$work" "$work.log"' EXIT
if ! "$sevenzip" x -y -o"$work" "$chm" >"$work.log" 2>&1; then
    cat "$work.log" >&2
    rm -f "$work.log"
    echo "FAIL: 7-Zip cannot read $chm" >&2
    exit 1
fi
rm -f "$work.log"

# Topics named by a contents or index file, without anchors.
topics_of() {
    grep -o '<param name="Local" value="[^"]*"' "$1" | sed 's/.*value="\([^"#]*\).*/\1/' | sort -u
}

[ -n "$(topics_of "$sources/QORHelp.hhc")" ] || fail "the contents name no topic"
for list in QORHelp.hhc QORHelp.hhk; do
    for topic in $(topics_of "$sources/$list"); do
        [ -f "$work/$topic" ] || fail "$list names $topic, which the help file does not hold"
    done
done
for page in "$sources"/*.htm; do
    name=$(basename "$page")
    [ -f "$work/$name" ] || fail "the page $name is missing from the help file"
    grep -qx "$name" <(sed -n '/^\[FILES\]/,$p' "$sources/QORHelp.hhp" | tr -d '\r') ||
        fail "the project does not list $name"
done
default=$(sed -n 's/^Default topic=//p' "$sources/QORHelp.hhp" | tr -d '\r')
[ -f "$work/$default" ] || fail "the default topic $default is missing"

# Every local link and picture of every page, anchors included.
pages=0
for page in "$work"/*.htm; do
    pages=$((pages + 1))
    name=$(basename "$page")
    for link in $(grep -o -i -E '(href|src)="[^"]*"' "$page" | sed -E 's/^[^"]*"([^"]*)"$/\1/'); do
        case "$link" in
        http:* | https:* | mailto:*) continue ;;
        esac
        target=${link%%#*}
        anchor=
        [ "$target" != "$link" ] && anchor=${link#*#}
        [ -z "$target" ] && target=$name
        if [ ! -f "$work/$target" ]; then
            fail "$name links to $link: no such page"
            continue
        fi
        if [ -n "$anchor" ] && ! grep -q -E "(id|name)=\"$anchor\"" "$work/$target"; then
            fail "$name links to $link: no such anchor"
        fi
    done
done
[ "$pages" -gt 0 ] || fail "the help file holds no page"

if [ "$failures" -gt 0 ]; then
    echo "$failures fault(s) in $chm" >&2
    exit 1
fi
echo "$chm: $pages pages, every topic present, no dead link"
