// urlencode as a bash loadable builtin: the program's command line and
// bytes, without a process per call, the result handed straight to the
// script on request, and a whole query string built from an array.
//   enable -f urlencode urlencode
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shellvar.h"
#include "urlcode.h"

// The query string of an array, keys and values in turn or each key with
// its value, the keys in byte order; null, after a message, when it
// cannot be made.
static char *query(const char *name, bool assoc, bool rfc)
{
	SHELL_VAR *v = find_variable(name);
	if (v == nullptr || (assoc ? !assoc_p(v) : !array_p(v))) {
		builtin_error("%s: not an %s array", name, assoc ? "associative" : "indexed");
		return nullptr;
	}
	size_t n;
	char **pairs = elements(v, &n);
	if (n % 2 != 0) {
		builtin_error("%s: %zu elements, not keys and values in turn", name, n);
		xfree(pairs);
		return nullptr;
	}
	char *q = static_cast<char *>(malloc(querylen(pairs, n / 2, rfc) + 1));
	if (q != nullptr)
		makequery(q, pairs, n / 2, rfc);
	else
		builtin_error("cannot allocate the query string");
	xfree(pairs);
	return q;
}

static int urlencode_builtin(WORD_LIST *list)
{
	// -v NAME, only ever first.
	WORD_DESC *name = nullptr;
	if (!setvarname(&list, &name))
		return EX_USAGE;

	// The program's argument vector: the name, then at most four words.
	char progname[] = "urlencode";
	char *argv[6] = {progname};
	int argc = 1;
	for (WORD_LIST *l = list; l != nullptr; l = l->next, argc++)
		if (argc < 5)
			argv[argc] = l->word->word;
	argv[argc < 5 ? argc : 5] = nullptr;

	// The program's line mode, which writes each result.
	bool rfc;
	char sep;
	const char *why;
	bool lines = argc < 5 && encodelines(argc, argv, &rfc, &sep, &why);
	if (lines && name == nullptr) {
		if (why != nullptr) {
			complain("%s", why);
			return EX_USAGE;
		}
		// The records may follow this line in bash's own script; zread
		// is read's own, which runs the traps of a signal and reads on.
		syncinput();
		return linesend(encodeeach(rfc, sep, zread, saybuiltin));
	}

	// [-r] -a ARRAY or [-r] -A ARRAY, where the program takes a string.
	char *out;
	rfc = argc == 4;
	if ((argc == 3 || (argc == 4 && strcmp(argv[1], "-r") == 0)) &&
	    (strcmp(argv[argc - 2], "-a") == 0 || strcmp(argv[argc - 2], "-A") == 0)) {
		WORD_DESC array = {argv[argc - 1], 0};
		if (!goodname(&array, false))
			return EX_USAGE;
		out = query(argv[argc - 1], argv[argc - 2][1] == 'A', rfc);
		if (out == nullptr)
			return EXECUTION_FAILURE;
	} else {
		// -v NAME and the line mode go not together.
		const char *arg = !lines ? encodeoptions(argc, argv, &rfc) : nullptr;
		if (arg == nullptr) {
			builtin_usage();	// the builtin's own synopsis, its options in it
			return EX_USAGE;
		}
		out = static_cast<char *>(malloc(encodedlen(arg, rfc) + 1));
		if (out == nullptr) {
			builtin_error("cannot allocate the result");
			return EXECUTION_FAILURE;
		}
		urlencode(out, arg, rfc);
	}
	return handover(name, out, out);
}

static char doc0[] = "URL-encode one argument and print it, with no newline.";
static char doc1[] = "";
static char doc2[] = "Every byte but A-Z a-z 0-9 - . _ ~ is written as '%' and two hex";
static char doc3[] = "digits, and a space as '+', or as %20 with -r.";
static char doc4[] = "Options, which print nothing or take an array:";
static char doc5[] = "  -v NAME   set the variable NAME to the result, as printf -v does;";
static char doc6[] = "            only ever first";
static char doc7[] = "  -a ARRAY  in place of the string: a query string, 'k=v&k2=v2', of";
static char doc8[] = "            the indexed ARRAY's keys and values in turn";
static char doc9[] = "  -A ARRAY  the same of the associative ARRAY, keys in byte order";
static char doc9a[] = "After --, the last word is the string, whatever it reads: write it so";
static char doc9b[] = "before a variable's value. With -l or -z in place of the string, each";
static char doc9c[] = "line (or NUL-ended record) of standard input is encoded into one of";
static char doc9d[] = "standard output.";
static char doc10[] = "Exit status: 0, or 1 on a NAME that cannot be set, an ARRAY that is";
static char doc11[] = "none or has an odd count, a record of the line mode that failed, or a";
static char doc11a[] = "failed write; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc4, doc5, doc6, doc7, doc8, doc9, doc1,
		      doc9a, doc9b, doc9c, doc9d, doc1, doc10, doc11, doc11a, nullptr};
static char bname[] = "urlencode";
static char synopsis[] = "urlencode [-v NAME] [-r] [--] string | [-r] -a ARRAY | -A ARRAY | [-r] -l | -z";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin urlencode_struct = {
	bname, urlencode_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
