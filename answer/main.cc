// htmlescape, jsonquote and setcookie, the program that each is: TOOL
// names it. Each writes its result with no newline.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "answer.h"
#include "urlcode.h"

#define NAME_(t) #t
#define NAME(t) NAME_(t)

int main(int argc, char **argv)
{
	const char *why;
	char *out = answer(NAME(TOOL), argc, argv, &why);
	if (out == nullptr) {
		fprintf(stderr, NAME(TOOL) ": %s\n", why);
		return 1;
	}
	fputs(out, stdout);
	free(out);
	if (!written()) {
		fprintf(stderr, NAME(TOOL) ": write error: %s\n", strerror(errno));
		return 1;
	}
	return 0;
}
