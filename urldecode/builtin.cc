// urldecode as a bash loadable builtin: the program's command line and
// bytes, without a process per call.
//   enable -f urldecode urldecode
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include "builtins.h"
#include "shell.h"
#include "common.h"
}

#include "urldecode.h"

static int urldecode_builtin(WORD_LIST *list)
{
	// The program's argument vector: the name, then at most three words.
	char name[] = "urldecode";
	char *argv[4] = {name};
	int argc = 1;
	for (WORD_LIST *l = list; l != nullptr; l = l->next, argc++)
		if (argc < 4)
			argv[argc] = l->word->word;

	bool blanks, escape;
	const char *arg = options(argc, argv, &blanks, &escape);
	if (arg == nullptr) {
		usagetext(name);
		return EXECUTION_FAILURE;
	}
	char *copy = workcopy(arg);
	if (copy == nullptr) {
		builtin_error("cannot allocate the working copy: %s", strerror(errno));
		return EXECUTION_FAILURE;
	}
	fputs(decode(copy, blanks, escape), stdout);
	free(copy);
	// Flushes, and reports a write that failed.
	return sh_chkwrite(EXECUTION_SUCCESS);
}

static char doc0[] = "Decode one URL-encoded argument and print it, with no newline.";
static char doc1[] = "";
static char doc2[] = "'+' is a space and '%' with two hex digits a byte. -b trims the";
static char doc3[] = "spaces at both ends, -e backslash-escapes shell metacharacters.";
static char doc4[] = "Exit status: 0, or 1 on a bad command line or a failed write.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc4, nullptr};
static char bname[] = "urldecode";
static char synopsis[] = "urldecode [-b] [-e] url";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin urldecode_struct = {
	bname, urldecode_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
