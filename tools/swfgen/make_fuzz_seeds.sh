#!/bin/bash
# Writes the seed movies of the fuzz_movie target with the swfgen command line.
#   tools/swfgen/make_fuzz_seeds.sh build/host/tools/swfgen/swfgen
set -eu
swfgen=$1
out=$(dirname "$0")/../../tests/fuzz/corpus/fuzz_movie
mkdir -p "$out"
"$swfgen" demo --compress "$out/demo_z.swf"
"$swfgen" blank --width 550 --height 400 --fps 30 --frames 3 "$out/blank.swf"
"$swfgen" heavy --shapes 6 "$out/heavy6.swf"
"$swfgen" features "$out/features.swf"
