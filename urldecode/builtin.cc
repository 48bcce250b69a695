// urldecode as a bash loadable builtin: the program's command line and
// bytes, without a process per call, and with the result handed straight
// to the script on request: a variable, or a whole query string or
// Cookie header taken apart into an array.
//   enable -f urldecode urldecode
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shellvar.h"
#include "urlcode.h"

static int urldecode_builtin(WORD_LIST *list)
{
	// -v NAME, -a NAME, -A NAME or -C NAME, and the limits of the last
	// three, -n COUNT and -m BYTES, only ever first; a last word is the
	// url, whatever it is.
	char *opt = nullptr;
	WORD_DESC *name = nullptr;
	unsigned long long most = maxvalues, bytes = maxbytes;
	for (; list != nullptr; list = list->next->next) {
		char *w = list->word->word;
		bool limits = (strcmp(w, "-n") == 0 || strcmp(w, "-m") == 0) && list->next != nullptr;
		if (!limits && (opt != nullptr || (strcmp(w, "-v") != 0 && strcmp(w, "-a") != 0 &&
						   strcmp(w, "-A") != 0 && strcmp(w, "-C") != 0)))
			break;
		if (list->next == nullptr) {
			sh_needarg(w);
			return EXECUTION_FAILURE;
		}
		if (limits && !limit(w, list->next->word->word, w[1] == 'n' ? &most : &bytes))
			return EXECUTION_FAILURE;
		if (limits)
			continue;
		opt = w;
		name = list->next->word;
		if (!goodname(name, opt[1] == 'v'))
			return EXECUTION_FAILURE;
	}

	// The program's argument vector: the name, then at most three words,
	// less one "-s" before the last, which is the builtin's own.
	char progname[] = "urldecode";
	char *argv[4] = {progname};
	int argc = 1;
	bool strict = false;
	for (WORD_LIST *l = list; l != nullptr; l = l->next) {
		if (!strict && l->next != nullptr && strcmp(l->word->word, "-s") == 0) {
			strict = true;
			continue;
		}
		if (argc < 4)
			argv[argc] = l->word->word;
		argc++;
	}

	bool blanks, escape;
	const char *arg = options(argc, argv, &blanks, &escape);
	if (arg == nullptr) {
		builtin_usage();	// the builtin's own synopsis, its options in it
		return EXECUTION_FAILURE;
	}
	size_t at;
	const char *bad = strict ? badescape(arg, &at) : nullptr;
	if (bad != nullptr) {
		builtin_error("byte offset %zu: %s", at, bad);
		return EXECUTION_FAILURE;
	}
	char *copy = workcopy(arg);
	if (copy == nullptr) {
		builtin_error("cannot allocate the working copy: %s", strerror(errno));
		return EXECUTION_FAILURE;
	}
	if (name == nullptr || opt[1] == 'v')
		return handover(name, decode(copy, blanks, escape, true, strict), copy);
	int status = setfields(name->word, opt[1], arg, copy, blanks, escape, strict, most, bytes);
	free(copy);
	return status;
}

static char doc0[] = "Decode one URL-encoded argument and print it, with no newline.";
static char doc1[] = "";
static char doc2[] = "'+' is a space and '%' with two hex digits a byte. -b trims the";
static char doc3[] = "spaces at both ends, -e backslash-escapes shell metacharacters.";
static char doc4[] = "Options, only ever first and one of them, that print nothing:";
static char doc5[] = "  -v NAME   set the variable NAME to the result, as printf -v does";
static char doc6[] = "  -a NAME   take url as a query string, 'k=v&k2=v2', and set the";
static char doc7[] = "            array NAME to its keys and values in turn";
static char doc8[] = "  -A NAME   the same into the associative array NAME, each key to";
static char doc9[] = "            its last value";
static char doc10[] = "  -C NAME   take url as a Cookie header, 'a=1; b=2', into the";
static char doc11[] = "            associative array NAME, each name to its first value, '+'";
static char doc12[] = "            kept as '+'";
static char doc12a[] = "  -n COUNT  with -a, -A or -C, refuse more than COUNT fields, not 100000";
static char doc12b[] = "  -m BYTES  and names and values that pass BYTES, not 8 MiB";
static char doc13[] = "With -s, anywhere among -b and -e, a '%' not followed by two hex";
static char doc14[] = "digits, or '%00', is an error, and no decoded byte is read again.";
static char doc15[] = "Exit status: 0, or 1 on a bad command line, a NAME that cannot be";
static char doc16[] = "set, a bad escape with -s, fields past -n or -m, or a failed write.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc4, doc5, doc6, doc7, doc8, doc9,
		      doc10, doc11, doc12, doc12a, doc12b, doc1, doc13, doc14, doc1, doc15, doc16, nullptr};
static char bname[] = "urldecode";
static char synopsis[] = "urldecode [-v NAME | -a NAME | -A NAME | -C NAME] [-n COUNT] [-m BYTES] [-b] [-e] [-s] url";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin urldecode_struct = {
	bname, urldecode_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
