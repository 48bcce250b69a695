// b64, hmac, randtoken, jwtoken and hookverify, the program that each is:
// TOOL names it, and only its own run is linked. Each
// writes its result with no newline; hmac -c writes nothing, and its
// status says whether the MAC matched.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text.h"
#include "tokens.h"
#include "urlcode.h"

#define NAME_(t) #t
#define NAME(t) NAME_(t)
#define RUN_(t) t##run
#define RUN(t) RUN_(t)

int main(int argc, char **argv)
{
	const char *why;
	size_t n;
	char *out = RUN(TOOL)(argc, argv, nullptr, &n, &why);
	if (out == nullptr) {
		if (why != nullptr)
			saytext(NAME(TOOL), why);
		return 1;
	}
	fwrite(out, 1, n, stdout);
	free(out);
	if (!written()) {
		fprintf(stderr, NAME(TOOL) ": write error: %s\n", strerror(errno));
		return 1;
	}
	return 0;
}
