# 1000 query-string values of the kind a CGI script or a log holds: words,
# '+' and '%20' for spaces, UTF-8 and reserved characters escaped, and now
# and then what real input has too: a raw backslash, a '%' at the end, a
# malformed escape or an encoded NUL. The same lines on every machine: a
# Park-Miller generator, exact in any awk's doubles.
#   awk -f bench/lines.awk
function rnd(n) { seed = seed * 16807 % 2147483647; return seed % n }
BEGIN {
	seed = 42
	n = split("search shell+tools caf%C3%A9 na%C3%AFve %E2%82%AC5 a%2Fb%2Fc " \
		  "q%3Dx%26y name%40example.org hello%20world %7Euser 100%25 " \
		  "%2B1 r%C3%A9sum%C3%A9 %22quoted%22 %28a%29 x%3Cy%3E page%3F2 " \
		  "%24HOME %3Bls %5Ctmp", word, " ")
	m = split("C:\\temp 50% %zz %00end", odd, " ")
	for (i = 0; i < 1000; i++) {
		line = ""
		for (k = 3 + rnd(6); k > 0; k--)
			line = line (line == "" ? "" : rnd(3) ? "+" : "%20") \
			       (rnd(20) ? word[1 + rnd(n)] : odd[1 + rnd(m)])
		print line
	}
}
