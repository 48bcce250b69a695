#!/bin/bash
# Every item of a paginated JSON API, a line each, "ID<TAB>NAME": each
# page an array of objects with an id and a name, the next page where its
# Link field's rel="next" says, on the first page's origin only. A 429 or
# 503 is asked again when its Retry-After says (seconds or an HTTP-date);
# x-ratelimit-remaining: 0 waits until x-ratelimit-reset (seconds since
# the epoch). With CACHE, a page's ETag is sent back as If-None-Match,
# and a 304 reads the page kept from the last run.
#   api-client.sh URL [CACHE]
# Nothing of a response is evaluated: its fields and values are read by
# the builtins into arrays, and only seconds that httphead has read, or
# that are digits alone, are counted with.
set -euo pipefail
enable -f shelltools httphead urlparse urlencode jsonparse
url=$1 cache=${2:-}
most=300	# the longest wait, in seconds, that a server may ask for

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
die() { printf 'api-client: %s\n' "$*" >&2; exit 1; }

declare -A first u h links item count
urlparse -A first -- "$url" || die "not a URL: $url"
pause() {		# pause SECONDS WHY
	[ "$1" -le "$most" ] || die "$2: $1 s is longer than $most s"
	sleep -- "$1"
}

for ((pages = 0; pages < 1000; pages++)); do
	# The cache keeps a page's head and body under its URL, encoded into
	# one file name.
	urlencode -v key -- "$url"
	etag=()
	if [ -n "$cache" ] && [ -f "$cache/$key.head" ]; then
		# A value of a head that httphead read holds no CR or LF, so it
		# makes one field of the request, and no more.
		httphead -A h -- "$cache/$key.head" && [ -n "${h[etag]-}" ] && etag=(-H "If-None-Match: ${h[etag]}")
	fi
	curl -sS -D "$tmp/head" -o "$tmp/body" "${etag[@]}" -- "$url" || die "$url: curl failed"
	httphead -A h -- "$tmp/head" || die "$url: a head that cannot be read"
	case ${h[:status]} in
	200)
		[ -z "$cache" ] || { cp -- "$tmp/head" "$cache/$key.head"; cp -- "$tmp/body" "$cache/$key.body"; }
		;;
	304)
		[ -f "$cache/$key.body" ] || die "$url: 304, and no page kept"
		# The page kept, and its head's fields; a 304 need not send them.
		httphead -A h -- "$cache/$key.head" || die "$url: a kept head that cannot be read"
		cp -- "$cache/$key.body" "$tmp/body"
		;;
	429 | 503)
		httphead -v delay -t retry-after -- "${h[retry-after]:-1}" || die "$url: Retry-After: ${h[retry-after]}"
		pause "$delay" "$url: ${h[:status]}"
		((pages--)) || true
		continue
		;;
	*)
		die "$url: status ${h[:status]}"
		;;
	esac

	# The page's items, counted by the reader, never by a value of the page.
	jsonparse -A item -C count < "$tmp/body" || die "$url: a body that is not JSON"
	for ((i = 0; i < ${count[#]:-0}; i++)); do
		printf '%s\t%s\n' "${item[/$i/id]-}" "${item[/$i/name]-}"
	done

	# A rate limit spent: wait for its reset, digits alone counted with.
	if [ "${h[x-ratelimit-remaining]-}" = 0 ]; then
		at=${h[x-ratelimit-reset]-}
		case $at in
		'' | *[!0-9]* | ?????????????*) die "$url: x-ratelimit-reset: $at" ;;
		esac
		printf -v now '%(%s)T' -1
		delay=$((10#$at - now))
		[ "$delay" -le 0 ] || pause "$delay" "$url: rate limit"
	fi

	# The next page, where there is one; a Link field that cannot be read
	# is an error, not the last page.
	[ -n "${h[link]-}" ] || exit 0
	httphead -A links -t link -b "$url" -- "${h[link]}" || die "$url: a Link field that cannot be read"
	next=${links[next]-}
	[ -n "$next" ] || exit 0
	urlparse -A u -- "$next" || die "$url: a next page that is not a URL"
	[ "${u[origin]}" = "${first[origin]}" ] || die "$url: a next page on another origin: $next"
	url=$next
done
die "more than 1000 pages"
