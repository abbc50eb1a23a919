#!/usr/bin/env bash
# For every file of the corpus manifest, `glyphwell-cli info` must exit as the
# expected outcome says: encrypted 3, refused 1, the rest 0; never crash
# (a signal gives a status above 128) and never hang.
set -u
cli=$1
corpus=$2
fail=0
while IFS=$'\t' read -r file _producer _version _classic _encrypted expected _rest; do
  [ "$file" = file ] && continue
  case $expected in
    refuse-encrypted) want=3 ;;
    refuse-invalid) want=1 ;;
    *) want=0 ;;
  esac
  timeout 60 "$cli" info "$corpus/$file" >/dev/null 2>/tmp/gw-cli-err.$$
  got=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL $file: exit $got, expected $want"
    sed 's/^/    /' /tmp/gw-cli-err.$$
    fail=1
  else
    echo "ok   $file: exit $got"
  fi
done < "$corpus/manifest.tsv"
rm -f /tmp/gw-cli-err.$$
exit $fail
