#!/bin/bash
# Seeds for json_fuzz that cross the reader's 64 KiB pieces: a string, and
# a name, of each kind of character and escape, long enough to fill two
# pieces, starting at each of four offsets so that a character of every
# width straddles the boundary.
#   json_long.sh DIR
set -eu
export LC_ALL=C	# lengths in bytes
dir=$1
mkdir -p "$dir"
kinds=(a é € 😀 '\n' '\u00e9' '\u20ac' '\ud83d\ude00' '\"')
# The first byte, the target's own: reads of 1, 8, 16 and 32 KiB.
leads=('\100' '\107' '\117' '\137')
names=(ascii two three four escape u2 u3 pair quote)
decoded=(1 2 3 4 1 2 3 4 1)	# bytes of each, decoded
for i in "${!kinds[@]}"; do
	k=${kinds[i]}
	# Enough of it to decode to a few bytes more than a piece.
	n=$(((65536 / decoded[i] + 8) * ${#k}))
	s=$k
	while [ ${#s} -lt "$n" ]; do
		s=$s$s
	done
	s=${s:0:n}
	for off in 0 1 2 3; do
		pad=$(printf '%*s' "$off" '' | tr ' ' x)
		lead=${leads[off]}
		printf "$lead"'"%s%s"' "$pad" "$s" >"$dir/long-${names[i]}-$off"
		printf "$lead"'{"%s%s":[1]}' "$pad" "$s" >"$dir/name-${names[i]}-$off"
	done
done
