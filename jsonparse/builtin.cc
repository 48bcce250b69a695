// jsonparse as a bash loadable builtin: the program's command line and
// bytes, without a process per call, and every value of the text handed
// to the script in arrays, each under its pointer, nothing evaluated.
//   enable -f jsonparse jsonparse
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "json.h"
#include "shellvar.h"

// What a call holds while it reads, freed even when bash aborts it. The
// reader, with its window on standard input, is kept for the next call,
// as a script calls the builtin again and again; a call from a trap while
// another reads has one of its own.
struct call {
	json *j;
	jsonflat flat;
	jsonbuf out;
};
static json *kept;
static bool busy;

static void undo(void *p)
{
	call *c = static_cast<call *>(p);
	if (c->j == kept) {
		jsonagain(kept);
		busy = false;
	} else if (c->j != nullptr) {
		jsonend(c->j);
		free(c->j);
	}
	jsonflatfree(&c->flat);
	jsonfree(&c->out);
	free(c);
}

static bool collect(void *arg, const char *s, size_t n)
{
	jsonbuf *b = static_cast<jsonbuf *>(arg);
	jsonadd(b, s, n);
	return !b->bad;
}

static int jsonparse_builtin(WORD_LIST *list)
{
	// -v NAME, -A NAME, -a NAME, -T NAME, only ever first.
	WORD_DESC *name = nullptr;
	char opt = 0, *types = nullptr;
	while (list != nullptr && list->word->word[0] == '-' && strchr("vAaT", list->word->word[1]) != nullptr &&
	       list->word->word[1] != '\0' && list->word->word[2] == '\0') {
		char o = list->word->word[1];
		if (list->next == nullptr) {
			sh_needarg(list->word->word);
			return EX_USAGE;
		}
		if (o == 'T') {
			types = list->next->word->word;
		} else if (opt != 0) {
			builtin_usage();
			return EX_USAGE;
		} else {
			opt = o;
			name = list->next->word;
		}
		list = list->next->next;
	}
	if (types != nullptr && opt != 'A' && opt != 'a') {
		builtin_usage();
		return EX_USAGE;
	}
	if (opt == 'v' && !goodname(name, true))
		return EXECUTION_FAILURE;
	if ((opt == 'A' || opt == 'a') && (!arrayok(name->word, opt == 'A') || (types != nullptr && !arrayok(types, true))))
		return EXECUTION_FAILURE;
	if (types != nullptr && samevar(types, name->word)) {
		builtin_error("%s: the values and the types need arrays of their own", types);
		return EXECUTION_FAILURE;
	}

	static char progname[] = "jsonparse";
	int argc;
	char **argv = commandline(list, progname, &argc);
	if (argv == nullptr)
		return EXECUTION_FAILURE;
	jsonjob job;
	const char *why = jsonoptions(argc, argv, &job);
	free(argv);
	if (why == nullptr && job.type && (opt == 'A' || opt == 'a'))
		why = "-t goes with -v or with no NAME, not with -A or -a";
	if (why != nullptr) {
		builtin_error("%s", why);
		builtin_usage();
		return EX_USAGE;
	}

	call *c = static_cast<call *>(xmalloc(sizeof *c));
	*c = {};
	guard(undo, c);
	if (kept == nullptr)
		kept = static_cast<json *>(calloc(1, sizeof *kept));
	c->j = !busy && kept != nullptr ? kept : static_cast<json *>(calloc(1, sizeof *c->j));
	busy = busy || c->j == kept;
	if (c->j == nullptr) {
		builtin_error("cannot allocate the reader");
		unguard(true);
		return EXECUTION_FAILURE;
	}
	if (job.text != nullptr) {
		jsonmem(c->j, job.text, strlen(job.text), job.strict);
	} else {
		// The text may follow this line in bash's own script; zread is
		// read's own, which runs the traps of a signal and reads on.
		syncinput();
		jsonstream(c->j, 0, zread, ~0ULL, job.strict);
	}
	int status = EXECUTION_FAILURE;
	if (opt == 'A' || opt == 'a') {
		why = jsonall(c->j, &c->flat);
		if (why == nullptr)
			status = setjson(name->word, opt == 'A', types, &c->flat);
	} else if (opt == 'v') {
		why = jsonget(c->j, job.pointer, job.type, collect, &c->out);
		if (why == nullptr)
			status = setvar(name, c->out.p != nullptr ? c->out.p : "") ? EXECUTION_SUCCESS : EXECUTION_FAILURE;
	} else {
		// Held until the text is found good, so that a refused one
		// prints nothing.
		why = jsonget(c->j, job.pointer, job.type, collect, &c->out);
		if (why == nullptr && c->out.n > 0)
			fwrite(c->out.p, 1, c->out.n, stdout);
		if (why == nullptr)
			status = sh_chkwrite(EXECUTION_SUCCESS);
	}
	if (why != nullptr)
		builtin_error("%s", why);
	unguard(true);
	return status;
}

static char doc0[] = "Read a JSON text, strictly, and print the value at a pointer.";
static char doc1[] = "";
static char doc2[] = "Reads one JSON text (RFC 8259) from the argument, or from standard";
static char doc3[] = "input, and prints the value that -g POINTER (RFC 6901) names, the";
static char doc4[] = "whole text by default, with no newline: a string's bytes, a number";
static char doc5[] = "as written, true, false or null, a container as compact JSON. A text";
static char doc6[] = "that parsers read in different ways is refused. -t prints the type";
static char doc7[] = "instead; -s adds I-JSON's rules (RFC 7493).";
static char doc8[] = "Options, only ever first, that print nothing:";
static char doc9[] = "  -v NAME   set the variable NAME to the result, as printf -v does";
static char doc10[] = "  -A NAME   set the associative array NAME to every value, each under";
static char doc11[] = "            its pointer; an object or array, to its count of members";
static char doc12[] = "  -a NAME   set the indexed array NAME to pointer and value in turn,";
static char doc13[] = "            in input order, the whole text's \"\" first";
static char doc14[] = "  -T TYPES  with -A or -a, set the associative array TYPES to each";
static char doc15[] = "            pointer's type: object, array, string, number, boolean, null";
static char doc16[] = "Exit status: 0, or 1 on a refused text, a pointer that names nothing,";
static char doc17[] = "a NAME that cannot be set, or a failed write; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc5, doc6, doc7, doc1, doc8, doc9, doc10, doc11,
		      doc12, doc13, doc14, doc15, doc1, doc16, doc17, nullptr};
static char bname[] = "jsonparse";
static char synopsis[] = "jsonparse [-v NAME | -A NAME | -a NAME] [-T TYPES] [-s] [-t] [-g POINTER] [json]";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin jsonparse_struct = {
	bname, jsonparse_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
