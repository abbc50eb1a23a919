#!/bin/sh
# Makes the encrypted test files from corpus files with qpdf: every revision
# of the standard security handler, empty and non-empty user passwords,
# changes forbidden, cleartext metadata, AES over object streams, and a file
# whose strings and streams are not enciphered (/Identity) while attached
# files would be (/EFF). Run from this folder; the files are committed.
set -e
src=../corpus
qe() { out=$1; in=$2; shift 2; qpdf --allow-weak-crypto "$@" "$src/$in" "$out"; }

qe r2-rc4-40-user.pdf gs-std14-v12.pdf --encrypt user owner 40 --
qe r2-rc4-40-noprint.pdf gs-std14-v12.pdf --encrypt '' owner 40 --print=n --modify=n --
qe r3-rc4-128.pdf gs-type3-v13.pdf --encrypt '' owner 128 --use-aes=n --
qe r3-rc4-128-nomodify.pdf gs-std14-v12.pdf --encrypt '' owner 128 --use-aes=n --modify=none --
qe r4-rc4-cleartext-meta.pdf libreoffice-writer-v16.pdf --encrypt user owner 128 --use-aes=n --cleartext-metadata --
qe r4-aes128-objstm.pdf modern-xrefstream-fontconfig.pdf --object-streams=generate --encrypt '' owner 128 --use-aes=y --
qe r5-aes256-user.pdf gs-annots-v14.pdf --encrypt user owner 256 --force-R5 --
qe r6-aes256.pdf cairo-truetype-flate-images-v14.pdf --encrypt '' owner 256 --
# XMP metadata left plain (/EncryptMetadata false) under AES.
qpdf --allow-weak-crypto ../realworld/pdfminer__samples__contrib__issue-449-horizontal.pdf r4-aes128-cleartext-xmp.pdf \
    --encrypt '' owner 128 --use-aes=y --cleartext-metadata --
qe r6-aes256-user-nomodify.pdf gs-std14-v12.pdf --encrypt user 'Öl-Eigentümer' 256 --modify=none --

# /StmF and /StrF /Identity, /EFF /StdCF: the dictionary of a qpdf AES-128
# file (empty user password), its content left plain.
qe tmp-aes.pdf gs-std14-v12.pdf --object-streams=disable --encrypt '' owner 128 --use-aes=y --
qpdf --qdf --normalize-content=n --object-streams=disable "$src/gs-std14-v12.pdf" tmp-plain.pdf
python3 - <<'PY'
import re
aes = open('tmp-aes.pdf', 'rb').read()
plain = open('tmp-plain.pdf', 'rb').read()
o = re.search(rb'/O <([0-9a-f]+)>', aes).group(1)
u = re.search(rb'/U <([0-9a-f]+)>', aes).group(1)
p = re.search(rb'/P (-?\d+)', aes).group(1)
ids = re.search(rb'/ID \[ *<([0-9a-f]+)> *<([0-9a-f]+)> *\]', aes)
size = int(re.search(rb'/Size (\d+)', plain).group(1))
enc = (b'%d 0 obj\n<< /Filter /Standard /V 4 /R 4 /Length 128 /P ' % size + p +
       b' /O <' + o + b'> /U <' + u + b'> /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >>'
       b' /StmF /Identity /StrF /Identity /EFF /StdCF >>\nendobj\n')
xref = plain.rindex(b'\nxref\n') + 1
body = plain[:xref] + enc + plain[xref:]
body = body.replace(b'/Size %d' % size, b'/Size %d /Encrypt %d 0 R' % (size + 1, size), 1)
body = re.sub(rb'/ID \[[^\]]*\]', b'/ID [<' + ids.group(1) + b'><' + ids.group(2) + b'>]', body, count=1)
open('tmp-eff.pdf', 'wb').write(body)
PY
fix-qdf tmp-eff.pdf > eff-identity.pdf
rm -f tmp-aes.pdf tmp-plain.pdf tmp-eff.pdf
