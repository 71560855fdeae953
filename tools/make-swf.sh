#!/usr/bin/env bash
# Writes a minimal Flash movie of our own: a header, a background colour and a number of
# frames, then the end tag. With a square colour, a square slides from the left edge to
# the right one over the frames.
#
#   make-swf.sh <out.swf> <width> <height> <frames per second> <frames> <RRGGBB> [<RRGGBB>]
set -euo pipefail
if [ $# -lt 6 ] || [ $# -gt 7 ]; then
  echo "usage: $0 <out.swf> <width> <height> <frames per second> <frames> <RRGGBB> [<square RRGGBB>]" >&2
  exit 2
fi
out=$1 width=$2 height=$3 rate=$4 frames=$5 rgb=$6 square=${7:-}
side=60 # the square's side in pixels

out_bytes=() # the file after its 8-byte header, as hex pairs
data=()      # the body of the tag being built
u8() { data+=("$(printf '%02x' $(( $1 & 255 )))"); }
u16() { u8 "$1"; u8 $(( $1 >> 8 )); }
u32() { u16 $(( $1 & 65535 )); u16 $(( ($1 >> 16) & 65535 )); }
rgb() { u8 $(( 16#${1:0:2} )); u8 $(( 16#${1:2:2} )); u8 $(( 16#${1:4:2} )); }
bits() { # bits <value> <count>: the value's low bits (two's complement), high bit first
  local value=$1 count=$2 text="" i
  for (( i = count - 1; i >= 0; i-- )); do text+=$(( (value >> i) & 1 )); done
  printf '%s' "$text"
}
packed() { # packed <bit text>: the bits as bytes, the last one padded with zeros
  local text=$1 i
  while (( ${#text} % 8 )); do text+=0; done
  for (( i = 0; i < ${#text}; i += 8 )); do u8 $(( 2#${text:i:8} )); done
}
rect() { packed "$(bits 16 5)$(bits "$1" 16)$(bits "$2" 16)$(bits "$3" 16)$(bits "$4" 16)"; } # twips
emit() { # emit <code>: the tag built in data, with a short or long header
  local body=("${data[@]}")
  data=()
  if (( ${#body[@]} < 63 )); then
    u16 $(( ($1 << 6) | ${#body[@]} ))
  else
    u16 $(( ($1 << 6) | 63 )); u32 ${#body[@]}
  fi
  out_bytes+=("${data[@]}" "${body[@]}")
  data=()
}

rect 0 $(( width * 20 )) 0 $(( height * 20 ))
u8 0; u8 "$rate"                 # frames per second, 8.8 fixed point
u16 "$frames"
out_bytes+=("${data[@]}"); data=()
u32 0; emit 69                   # file attributes: no network, no metadata
rgb "$rgb"; emit 9               # background colour

if [ -n "$square" ]; then
  s=$(( side * 20 ))
  u16 1; rect 0 "$s" 0 "$s"       # shape 1 and its bounds
  u8 1; u8 0; rgb "$square"       # one solid fill style
  u8 0                            # no line styles
  u8 $(( 16#10 ))                 # one bit per fill style index, none per line style
  edges="000101$(bits 1 5)00"     # style change: fill style 1, move to (0, 0)
  edges+=1
  for delta in "0 $s" "1 $s" "0 -$s" "1 -$s"; do
    set -- $delta                 # vertical flag, delta
    edges+="11$(bits 10 4)0$1$(bits "$2" 12)" # straight edge, 12-bit delta
  done
  edges+=000000                   # end of shape
  packed "$edges"
  emit 2                          # DefineShape
fi

for (( i = 0; i < frames; i++ )); do
  if [ -n "$square" ]; then
    x=$(( (width - side) * 20 * i / (frames > 1 ? frames - 1 : 1) ))
    y=$(( (height - side) * 10 ))
    if (( i == 0 )); then u8 6; u16 1; u16 1; else u8 5; u16 1; fi # place or move at depth 1
    packed "00$(bits 16 5)$(bits "$x" 16)$(bits "$y" 16)"        # translation only
    emit 26                       # PlaceObject2
  fi
  emit 1                          # show frame
done
emit 0                            # end

length=$(( 8 + ${#out_bytes[@]} ))
header=(46 57 53 08)              # "FWS", version 8
for shift in 0 8 16 24; do header+=("$(printf '%02x' $(( (length >> shift) & 255 )))"); done
printf "$(printf '\\x%s' "${header[@]}" "${out_bytes[@]}")" > "$out"
