#!/usr/bin/env bash
# Writes a minimal Flash movie of our own: a header, a background colour and a number
# of empty frames, then the end tag.
#
#   make-swf.sh <out.swf> <width> <height> <frames per second> <frames> <RRGGBB>
set -euo pipefail
if [ $# -ne 6 ]; then
  echo "usage: $0 <out.swf> <width> <height> <frames per second> <frames> <RRGGBB>" >&2
  exit 2
fi
out=$1 width=$2 height=$3 rate=$4 frames=$5 rgb=$6

body=() # the bytes after the 8-byte header, as hex pairs
u8() { body+=("$(printf '%02x' $(( $1 & 255 )))"); }
u16() { u8 "$1"; u8 $(( $1 >> 8 )); }
u32() { u16 $(( $1 & 65535 )); u16 $(( ($1 >> 16) & 65535 )); }
tag() { u16 $(( ($1 << 6) | $2 )); } # short tag header: code, length
bits() { # bits <value> <count>: the value's low bits, most significant first
  local value=$1 count=$2 text="" i
  for (( i = count - 1; i >= 0; i-- )); do text+=$(( (value >> i) & 1 )); done
  printf '%s' "$text"
}

# The frame size: a rectangle in twips with 16 bits per field, padded to whole bytes.
rect="$(bits 16 5)$(bits 0 16)$(bits $(( width * 20 )) 16)$(bits 0 16)$(bits $(( height * 20 )) 16)000"
for (( i = 0; i < ${#rect}; i += 8 )); do u8 $(( 2#${rect:i:8} )); done
u8 0; u8 "$rate"            # frames per second, 8.8 fixed point
u16 "$frames"
tag 69 4; u32 0             # file attributes: no network, no metadata
tag 9 3                     # background colour
u8 $(( 16#${rgb:0:2} )); u8 $(( 16#${rgb:2:2} )); u8 $(( 16#${rgb:4:2} ))
for (( i = 0; i < frames; i++ )); do tag 1 0; done # show frame
tag 0 0                     # end

length=$(( 8 + ${#body[@]} ))
header=(46 57 53 08) # "FWS", version 8
for shift in 0 8 16 24; do header+=("$(printf '%02x' $(( (length >> shift) & 255 )))"); done
printf "$(printf '\\x%s' "${header[@]}" "${body[@]}")" > "$out"
