// urlparse as a bash loadable builtin: the program's command line and
// bytes, without a process per call, and the result handed straight to
// the script on request: one variable, or every component into an array.
//   enable -f urlparse urlparse
#include <cstdlib>
#include <cstring>

#include "shellvar.h"
#include "steps.h"

// Every component, each under its name, into the associative array.
static int all(char *name, const url *u)
{
	SHELL_VAR *array = newarray(name, true);
	if (array == nullptr)
		return EXECUTION_FAILURE;
	for (const char *const *c = components; *c != nullptr; c++) {
		str s = {};
		urlget(u, *c, &s);
		setkey(array, *c, text(&s));
		release(&s);
	}
	return EXECUTION_SUCCESS;
}

static int urlparse_builtin(WORD_LIST *list)
{
	// -v NAME or -A NAME, only ever first.
	char *opt = list != nullptr ? list->word->word : nullptr;
	WORD_DESC *name = nullptr;
	if (opt != nullptr && (strcmp(opt, "-v") == 0 || strcmp(opt, "-A") == 0)) {
		if (list->next == nullptr) {
			sh_needarg(opt);
			return EX_USAGE;
		}
		name = list->next->word;
		if (!goodname(name, opt[1] == 'v'))
			return EX_USAGE;
		if (opt[1] == 'A' && !arrayok(name->word, true))
			return EXECUTION_FAILURE;
		list = list->next->next;
	}

	// The program's argument vector, after its name.
	static char progname[] = "urlparse";
	int argc;
	char **argv = commandline(list, progname, &argc);
	if (argv == nullptr)
		return EXECUTION_FAILURE;

	job j;
	str why = {}, out = {};
	url u;
	urlinit(&u);
	const char *bad = urloptions(argc, argv, &j, &why);
	int status = EXECUTION_FAILURE;
	bool give = false;
	if (bad == nullptr && j.lines && name != nullptr)
		bad = "-l and -z write each result: -v and -A take one URL";
	if (bad != nullptr) {
		complain("%s", bad);
		status = EX_USAGE;
	} else if (j.lines) {
		// The records may follow this line in bash's own script; zread
		// is read's own, which runs the traps of a signal and reads on.
		syncinput();
		status = linesend(urleach(&j, zread, saybuiltin));
	} else if (!urlrun(&j, &u, &why)) {
		complain("%s", text(&why));
	} else if (name != nullptr && opt[1] == 'A') {
		status = all(name->word, &u);
	} else if (urlprint(&j, &u, &out), out.bad) {
		complain("cannot allocate the result");
	} else {
		give = true;
	}
	free(argv);
	jobfree(&j);
	urlfree(&u);
	release(&why);
	if (!give) {
		release(&out);
		return status;
	}
	return handover(name, text(&out), out.p);
}

static char doc0[] = "Parse a URL as browsers do, and print it, with no newline.";
static char doc1[] = "";
static char doc2[] = "URL is parsed by the WHATWG URL Standard, against BASE where -b";
static char doc3[] = "gives one, and printed as its href, or as the component that -g";
static char doc4[] = "names: href, origin, protocol, username, password, host, hostname,";
static char doc5[] = "port, pathname, search or hash. Each -S COMPONENT=VALUE runs that";
static char doc6[] = "component's setter first, in order. -s refuses every URL for which";
static char doc7[] = "the standard reports a validation error, by that error's name. -r reads";
static char doc7a[] = "URL as a request line's target (RFC 9112), on the origin that -b gives.";
static char doc8[] = "Options, only ever first, that print nothing:";
static char doc9[] = "  -v NAME   set the variable NAME to the result, as printf -v does";
static char doc10[] = "  -A NAME   set the associative array NAME to every component, each";
static char doc11[] = "            under its name";
static char doc11a[] = "After --, the last word is URL, whatever it reads: write it so before";
static char doc11b[] = "a variable's value. With -l or -z in place of URL, each line (or";
static char doc11c[] = "NUL-ended record) of standard input is a URL, its result a line.";
static char doc12[] = "Exit status: 0, or 1 on a URL that cannot be parsed (or, with -s, is";
static char doc13[] = "not valid), a NAME that cannot be set, a record of the line mode that";
static char doc14[] = "failed, or a failed write; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc5, doc6, doc7, doc7a, doc1, doc8, doc9, doc10,
		      doc11, doc1, doc11a, doc11b, doc11c, doc1, doc12, doc13, doc14, nullptr};
static char bname[] = "urlparse";
static char synopsis[] = "urlparse [-v NAME | -A NAME] [-b BASE] [-s] [-r] [-g COMPONENT]... [-S COMPONENT=VALUE]... [-l | -z] [--] URL";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin urlparse_struct = {
	bname, urlparse_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
