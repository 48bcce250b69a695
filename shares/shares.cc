// shares: read five integers and print each one's percentage share of their
// total, with two decimals, and then the total.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "shares.h"

int main()
{
	int32_t v[5];
	char msg[80];

	if (!readfive(0, v, msg, sizeof msg)) {
		fprintf(stderr, "shares: %s\n", msg);
		return 1;
	}
	printshares(stdout, v);
	// Closing an already closed stdout with nothing written loses nothing,
	// but here something always is.
	if (fflush(stdout) != 0 || ferror(stdout) || fclose(stdout) != 0) {
		fprintf(stderr, "shares: write error: %s\n", strerror(errno));
		return 1;
	}
	return 0;
}
