#!/usr/bin/env bash
# The one-time codes against oathtool, which nobody here wrote: random keys at random times,
# including the edges of a 30-second step, are given to the model's test program, which must
# make the very codes oathtool made.
set -euo pipefail
tests_model=$1
command -v oathtool >/dev/null || { echo "oathtool (Debian package oathtool) is missing"; exit 1; }
list=$(mktemp --suffix=.txt)
trap 'rm -f "$list"' EXIT
for i in $(seq 1 40); do
    key=$(head -c 20 /dev/urandom | base32 | tr -d '=')
    time=$(( $(od -An -N4 -tu4 /dev/urandom) * 2 ))
    case $((i % 4)) in 0) time=$(( time / 30 * 30 ));; 1) time=$(( time / 30 * 30 + 29 ));; esac
    echo "$key $time $(oathtool --totp -b "$key" -N "@$time")" >> "$list"
done
VANTREL_CODES_FROM_OATHTOOL=$(winepath -w "$list") \
    wine "$tests_model" --gtest_filter=OneTimeCodeTest.TheCodesOfOathtool
