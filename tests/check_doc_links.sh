#!/usr/bin/env bash
# Every relative link in README.md and docs/ leads to a file that exists, and a #anchor
# to a heading of the Markdown file it names, with the anchors GitHub makes: the heading
# in lower case, punctuation dropped, spaces turned into hyphens, "-1", "-2" added to
# repeats. Links in code blocks and code spans are not links. Usage: check_doc_links.sh ROOT
set -euo pipefail
export LC_ALL=C
cd "$1"

# The anchors of a Markdown file's headings, one a line.
anchors() {
  awk '
    /^```/ { code = !code; next }
    code { next }
    /^#+ / {
      h = $0; sub(/^#+ +/, "", h); sub(/ +$/, "", h)
      s = tolower(h); gsub(/[^a-z0-9 _-]/, "", s); gsub(/ /, "-", s)
      if (s in seen) print s "-" seen[s]; else print s
      seen[s]++
    }' "$1"
}

# The link targets of a Markdown file, each as LINE<tab>TARGET.
links() {
  awk '
    /^```/ { code = !code; next }
    code { next }
    {
      line = $0; gsub(/`[^`]*`/, "", line)
      while (match(line, /\]\([^) ]*\)/)) {
        print FNR "\t" substr(line, RSTART + 2, RLENGTH - 3)
        line = substr(line, RSTART + RLENGTH)
      }
    }' "$1"
}

checked=0
failed=0
for file in README.md $(find docs -name '*.md' | sort); do
  dir=$(dirname "$file")
  while IFS=$'\t' read -r line target; do
    case "$target" in
      *://* | mailto:*) continue ;;
    esac
    path=${target%%#*}
    anchor=
    [[ "$target" == *#* ]] && anchor=${target#*#}
    if [ -z "$path" ]; then resolved=$file; else resolved=$dir/$path; fi
    checked=$((checked + 1))
    if [ ! -e "$resolved" ]; then
      echo "$file:$line: $target: no such file ($resolved)"
      failed=$((failed + 1))
    elif [ -n "$anchor" ] && [[ "$resolved" == *.md ]] && ! anchors "$resolved" | grep -qxF -- "$anchor"; then
      echo "$file:$line: $target: no heading with the anchor #$anchor in $resolved"
      failed=$((failed + 1))
    fi
  done < <(links "$file")
done

if [ "$checked" -eq 0 ]; then
  echo "no relative links found: the pages were not read"
  exit 1
fi
echo "$checked relative links checked, $failed broken"
[ "$failed" -eq 0 ]
