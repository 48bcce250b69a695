// htmlescape, jsonquote and setcookie, the program that each is: TOOL
// names it. Each writes its result with no newline; with -l or -z, the
// first two take each record of standard input.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "answer.h"
#include "lines.h"
#include "text.h"
#include "urlcode.h"

#define NAME_(t) #t
#define NAME(t) NAME_(t)

int main(int argc, char **argv)
{
	int status = answereach(NAME(TOOL), argc, argv, nullptr, lineprogram);
	if (status >= 0)
		return status;
	const char *why;
	char *out = answer(NAME(TOOL), argc, argv, &why);
	if (out == nullptr) {
		saytext(NAME(TOOL), why);
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
