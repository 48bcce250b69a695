// SHA-256 of standard input by trust/'s portable code, or by the CPU's
// instructions where it has them, for the benchmark to time both paths.
//   sha portable|native < file
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "trust.h"

int main(int argc, char **argv)
{
	hashportable(argc > 1 && strcmp(argv[1], "portable") == 0);
	static unsigned char buf[1 << 16];
	unsigned char d[hashmost];
	char hex[2 * hashmost + 1];
	hash h;
	hashstart(&h, alg_sha256);
	for (ssize_t n; (n = read(0, buf, sizeof buf)) > 0;)
		hashadd(&h, buf, static_cast<size_t>(n));
	hashend(&h, d);
	baseout(base_hex, hex, d, 32, false);
	printf("%s\n", hex);
	return 0;
}
