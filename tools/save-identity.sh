#!/usr/bin/env bash
# Holds a build's saved files to those of another: every PDF of the corpora
# (../shared/corpus, its realworld/ folder, tests/data) is saved with
# `glyphwell-cli save` in four ways (plain, without pictures, with edited
# information, with a font added and put in place of the first one), and the
# output of `glyphwell-cli info` is kept beside it. The saved bytes are
# compared with /ModDate, /CreationDate set to "now", /ID and the XMP dates
# blanked, as these change with the clock. A file in the compact form (PDF
# 1.5 and later) keeps its information dictionary packed in an object
# stream, where no date can be blanked: such a file is first unpacked by
# `qpdf --qdf --object-streams=disable` (the same qpdf for record and check),
# so that its objects are compared instead of its bytes.
#
#   tools/save-identity.sh record CLI DIR   # writes DIR/manifest.tsv (and the files)
#   tools/save-identity.sh check  CLI DIR   # compares CLI's saves with DIR's manifest
#
# A restructuring keeps every saved byte: run `record` with the build it
# starts from, `check` after every step.
set -uo pipefail
mode=${1:?usage: save-identity.sh record|check CLI DIR}
cli=${2:?usage: save-identity.sh record|check CLI DIR}
dir=${3:?usage: save-identity.sh record|check CLI DIR}
top=$(cd "$(dirname "$0")/.." && pwd)
shared=${GW_SHARED:-$top/../shared}
[[ -d $shared/corpus ]] || shared=/work/shared
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")

mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Blanks what the clock writes, keeping the length so that offsets stay.
normalize() {
  perl -0777 -pe '
    s{(/(?:ModDate|CreationDate)\s*\()(D:[^)]*)(\))}{$1 . ("0" x length($2)) . $3}ge;
    s{(/ID\s*\[\s*)(<[0-9A-Fa-f]*>\s*<[0-9A-Fa-f]*>)}{$1 . ("0" x length($2))}ge;
    s{(<xmp:(?:ModifyDate|MetadataDate|CreateDate)>)([^<]*)(<)}{$1 . ("0" x length($2)) . $3}ge;
    s{(<xmpMM:(?:DocumentID|InstanceID)>)([^<]*)(<)}{$1 . ("0" x length($2)) . $3}ge;
  ' "$1"
}

# The bytes to compare of a saved file: a compact one unpacked first.
comparable() {
  if grep -aqE '/Type ?/(ObjStm|XRef)' "$1"; then
    local plain=$work/plain.pdf
    rm -f "$plain"
    # Status 3: written, with warnings.
    qpdf --qdf --object-streams=disable --static-id "$1" "$plain" >/dev/null 2>&1
    if [[ -s $plain ]]; then
      normalize "$plain"
      return
    fi
  fi
  normalize "$1"
}

inputs() {
  find "$shared/corpus" "$top/tests/data" -name '*.pdf' -size -40M | sort
}

variants=(plain nopics info replace)

out=$work/manifest.tsv
: >"$out"
n=0
while IFS= read -r pdf; do
  rel=${pdf#"$shared/"}
  rel=${rel#"$top/"}
  n=$((n + 1))
  info=$(timeout 120 "$cli" info "$pdf" 2>&1 | grep -v -e '^Erstellt' -e '^Geändert' | sha1sum | cut -c1-12)
  # The first font of page 1 is replaced by an added DejaVu Sans.
  first=$(timeout 120 "$cli" fonts "$pdf" 2>/dev/null | sed -n 's/^  Seite 1: \(\/[^,]*\),.*/\1/p' | head -1)
  for v in "${variants[@]}"; do
    target=$work/out.pdf
    rm -f "$target"
    case $v in
      plain) msg=$(timeout 300 "$cli" save "$pdf" -o "$target" 2>&1) ;;
      nopics) msg=$(timeout 300 "$cli" save "$pdf" -o "$target" --no-images 2>&1) ;;
      info) msg=$(timeout 300 "$cli" save "$pdf" -o "$target" --title "Prüfung" --author Glyphwell \
        --created 2020-01-02T03:04:05 2>&1) ;;
      replace) msg=$(timeout 300 "$cli" save "$pdf" -o "$target" --add-font "DejaVu Sans" \
        --replace "1:${first:-/F1}=/DejaVuSans" 2>&1) ;;
    esac
    rc=$?
    sum=-
    [[ -f $target ]] && sum=$(comparable "$target" | sha1sum | cut -c1-16)
    # The output's name is the temporary folder's, new in every run.
    msgsum=$(printf '%s' "${msg//$work/OUT}" | sha1sum | cut -c1-12)
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$rel" "$v" "$rc" "$sum" "$msgsum" "$info" >>"$out"
  done
done < <(inputs)

if [[ $mode == record ]]; then
  cp "$out" "$dir/manifest.tsv"
  echo "recorded $n files, $(wc -l <"$out") saves in $dir/manifest.tsv"
  exit 0
fi
if diff "$dir/manifest.tsv" "$out" >"$work/diff"; then
  echo "identical: $n files, $(wc -l <"$out") saves"
  exit 0
fi
echo "DIFFERENT (file, variant, exit status, saved bytes, messages, info):"
grep '^[<>]' "$work/diff"
exit 1
