#!/usr/bin/env bash
# The corpus through libpelmora: corpus_dump's results of every method call
# (its sine, cosine and arc tangent lines aside) must equal, line for line,
# those capi_corpus computes through the C functions.
#   capi_corpus.sh CORPUS_DUMP CAPI_CORPUS WORK_DIR
set -euo pipefail
dump=$1 replay=$2 work=$3
mkdir -p "$work"
"$dump" "$work/native.txt"
grep -v '^trig ' "$work/native.txt" >"$work/expected.txt"
# Twice: the array forms on their four-lane path where the processor has
# it, then on the scalar path.
for no_avx2 in "" 1; do
  PELMORA_NO_AVX2=$no_avx2 "$replay" <"$work/expected.txt" >"$work/capi.txt"
  if ! cmp -s "$work/expected.txt" "$work/capi.txt"; then
    echo "results differ between the calculations and the C library (PELMORA_NO_AVX2=$no_avx2):"
    diff "$work/expected.txt" "$work/capi.txt" | head -20
    exit 1
  fi
done
echo "$(wc -l <"$work/expected.txt") results identical through the C library"
