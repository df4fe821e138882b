#!/usr/bin/env bash
# The QR codes against zbarimg, which nobody here wrote: the controls' test program draws codes
# of several texts (otpauth addresses short and long, non-ASCII names, every mask, the largest
# version made) into BMP files, and zbarimg must read each back to the exact text.
set -euo pipefail
tests_controls=$1
command -v zbarimg >/dev/null || { echo "zbarimg (Debian package zbar-tools) is missing"; exit 1; }
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
VANTREL_QR_FOLDER=$(winepath -w "$folder") \
    wine "$tests_controls" --gtest_filter=QrCodeTest.DrawsTheCodesForZbarimg
count=0
failed=0
for image in "$folder"/*.bmp; do
    base=${image%.bmp}
    read=$(mktemp)
    # --raw prints the bytes of the code and a new line after them.
    if zbarimg --raw -q "$image" >"$read" 2>/dev/null && head -c -1 "$read" | cmp -s - "$base.txt"; then
        count=$((count + 1))
    else
        echo "zbarimg did not read $(cat "$base.about") back:"
        echo "  wanted: $(cat "$base.txt")"
        echo "  read:   $(cat "$read")"
        failed=1
    fi
    rm -f "$read"
done
echo "zbarimg read $count codes back exactly"
[ "$failed" = 0 ] && [ "$count" -eq 14 ]
