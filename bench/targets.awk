# URL targets as an access log holds them, n of them, the same on every
# machine: paths and queries, about 15% with a malformed escape.
BEGIN {
	srand(11)
	split("search item static api user blog docs img", seg, " ")
	split("caf%C3%A9 a+b hello%20world %E2%82%AC10 x%2Fy q%3D1 plain name%27s 50%25", word, " ")
	split("%zz %4 % %00 %g1", bad, " ")
	for (i = 0; i < n; i++) {
		p = "/" seg[1 + int(rand() * 8)] "/" word[1 + int(rand() * 9)]
		if (rand() < 0.5)
			p = p "?q=" word[1 + int(rand() * 9)] "&page=" int(rand() * 100)
		if (rand() < 0.15)
			p = p bad[1 + int(rand() * 5)]
		print p
	}
}
