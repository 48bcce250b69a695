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
	bool streaming;
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

// Held, up to 1 MiB; then what is held and all that follows written as
// it comes, so that memory stays small whatever the text.
static bool print(void *arg, const char *s, size_t n)
{
	call *c = static_cast<call *>(arg);
	if (!c->streaming && c->out.n + n <= (1u << 20))
		return collect(&c->out, s, n);
	if (!c->streaming && c->out.n > 0 && fwrite(c->out.p, 1, c->out.n, stdout) != c->out.n)
		return false;
	if (!c->streaming)
		jsonfree(&c->out);
	c->streaming = true;
	return fwrite(s, 1, n, stdout) == n;
}

// The builtin's own options, only ever first, each with its word: where
// each goes, and the number of -n and -m.
struct own {
	WORD_DESC *name, *why;
	char opt;
	jsonarrays arrays;
	unsigned long long values, bytes;
};

static bool options(WORD_LIST **list, own *o)
{
	*o = {};
	o->values = maxvalues;
	o->bytes = maxbytes;
	for (WORD_LIST *l = *list; l != nullptr; l = l->next->next, *list = l) {
		const char *w = l->word->word;
		if (w[0] != '-' || w[1] == '\0' || w[2] != '\0' || strchr("vAaTCKnmE", w[1]) == nullptr)
			return true;
		if (l->next == nullptr) {
			sh_needarg(l->word->word);
			return false;
		}
		char *arg = l->next->word->word;
		switch (w[1]) {
		case 'v':
		case 'A':
		case 'a':
			if (o->opt != 0) {
				builtin_usage();
				return false;
			}
			o->opt = w[1];
			o->name = l->next->word;
			o->arrays.values = w[1] != 'v' ? arg : nullptr;
			o->arrays.assoc = w[1] == 'A';
			break;
		case 'T':
			o->arrays.types = arg;
			break;
		case 'C':
			o->arrays.counts = arg;
			break;
		case 'K':
			o->arrays.names = arg;
			break;
		case 'E':
			o->why = l->next->word;
			if (!goodname(o->why, true))
				return false;
			break;
		default:
			if (!limit(w, arg, w[1] == 'n' ? &o->values : &o->bytes))
				return false;
		}
	}
	return true;
}

static int jsonparse_builtin(WORD_LIST *list)
{
	own o;
	forget();
	if (!options(&list, &o))
		return EX_USAGE;
	bool arrays = o.arrays.types != nullptr || o.arrays.counts != nullptr || o.arrays.names != nullptr;
	if (arrays && o.opt == 'v') {
		builtin_usage();
		return EX_USAGE;
	}
	if (o.opt == 'v' && !goodname(o.name, true))
		return EX_USAGE;
	if ((o.opt == 'A' || o.opt == 'a' || arrays) && !jsonarraysok(&o.arrays))
		return EXECUTION_FAILURE;

	static char progname[] = "jsonparse";
	int argc;
	char **argv = commandline(list, progname, &argc);
	if (argv == nullptr)
		return EXECUTION_FAILURE;
	// Into arrays, each -g names what to keep, and may stand for every
	// member at a step: -g '/commits/~/id'.
	bool every = o.opt == 'A' || o.opt == 'a' || arrays;
	jsonjob job;
	const char *why = jsonoptions(argc, argv, &job, every);
	free(argv);
	if (why == nullptr && job.lines && (o.opt != 0 || arrays))
		why = "-l and -z write each record's values: -v, -A, -a, -T, -C and -K take one text";
	if (why == nullptr && job.what != 0 && every)
		why = "-t and -c go with -v or with no NAME: -A, -a, -T, -C and -K take values";
	if (why != nullptr) {
		complain("%s", why);
		tell(o.why);
		builtin_usage();
		return EX_USAGE;
	}

	if (job.lines) {
		// The records may follow this line in bash's own script; zread
		// is read's own, which runs the traps of a signal and reads on.
		syncinput();
		int status = linesend(jsoneach(&job, zread, saybuiltin));
		tell(o.why);
		return status;
	}

	call *c = static_cast<call *>(xmalloc(sizeof *c));
	*c = {};
	guard(undo, c);
	if (kept == nullptr)
		kept = static_cast<json *>(calloc(1, sizeof *kept));
	c->j = !busy && kept != nullptr ? kept : static_cast<json *>(calloc(1, sizeof *c->j));
	busy = busy || c->j == kept;
	if (c->j == nullptr) {
		complain("cannot allocate the reader");
		tell(o.why);
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
	if (o.opt == 'A' || o.opt == 'a' || arrays) {
		why = jsonall(c->j, &c->flat, static_cast<unsigned long>(o.values), o.bytes, job.given ? job.pointers : nullptr,
			      job.npointers);
		if (why == nullptr)
			status = setjson(&o.arrays, &c->flat);
	} else if (o.opt == 'v') {
		why = jsonget(c->j, job.pointer, job.what, collect, &c->out);
		if (why == nullptr)
			status = setvar(o.name, c->out.p != nullptr ? c->out.p : "") ? EXECUTION_SUCCESS : EXECUTION_FAILURE;
	} else {
		// Held until the text is found good, so that a refused one prints
		// nothing; past 1 MiB, written as it comes, as the program does.
		why = jsonget(c->j, job.pointer, job.what, print, c);
		if (why == nullptr && c->out.n > 0 && fwrite(c->out.p, 1, c->out.n, stdout) != c->out.n)
			why = "write error";
		if (why == nullptr)
			status = sh_chkwrite(EXECUTION_SUCCESS);
	}
	if (why != nullptr)
		complain("%s", why);
	tell(o.why);
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
static char doc7[] = "instead, -c an array's or object's number of members; -s adds";
static char doc8[] = "I-JSON's rules (RFC 7493).";
static char doc10[] = "Options, only ever first, that print nothing:";
static char doc11[] = "  -v NAME   set the variable NAME to the result, as printf -v does";
static char doc12[] = "  -A NAME   set the associative array NAME to every string, number,";
static char doc13[] = "            boolean and null, each under its pointer";
static char doc14[] = "  -a NAME   set the indexed array NAME to their pointers and values in";
static char doc15[] = "            turn, in input order";
static char doc16[] = "  -C COUNTS set the associative array COUNTS to each array's and";
static char doc17[] = "            object's number of members, under its pointer, the whole";
static char doc18[] = "            text's under #: an integer of the reader's, never the text's";
static char doc19[] = "  -K NAMES  set the associative array NAMES, under P/0, P/1..., to the";
static char doc20[] = "            names of the members of the object at P, in input order";
static char doc21[] = "  -T TYPES  set the associative array TYPES to each pointer's type:";
static char doc22[] = "            object, array, string, number, boolean or null";
static char doc23[] = "  -n COUNT  refuse a text of more than COUNT values, not 100000";
static char doc24[] = "  -m BYTES  refuse one whose pointers and values pass BYTES, not 8 MiB";
static char doc25[] = "  -E WHY    set WHY to the reason for a refusal, or empty it";
static char doc26[] = "Count and walk with COUNTS, never with a value of the text, which";
static char doc27[] = "arithmetic would evaluate:";
static char doc28[] = "  for ((i = 0; i < ${n[/items]:-0}; i++)); do echo \"${j[/items/$i/id]}\"; done";
static char doc28a[] = "With -A, -a, -T, -C or -K, each -g keeps only the values at or under";
static char doc28b[] = "its pointer, and the containers on the way, the whole text still";
static char doc28c[] = "checked; a lone ~ as a step stands for every member there, as in";
static char doc28d[] = "-g '/commits/~/id', and is no name, which JSON Pointer writes ~0.";
static char doc29a[] = "After --, the last word is the text, whatever it reads: write it so";
static char doc29b[] = "before a variable's value. With -l or -z, each line (or NUL-ended";
static char doc29c[] = "record) of standard input is a text, and the values that each -g";
static char doc29d[] = "names are one line of standard output, separated by tabs; one that";
static char doc29e[] = "names nothing, and a null, an empty field, but with -M, which fails";
static char doc29f[] = "the record. A last message counts the refused records by reason.";
static char doc30[] = "Exit status: 0, or 1 on a refused text, a pointer that names nothing,";
static char doc31[] = "a NAME that cannot be set, a record of the line mode that failed, or";
static char doc32[] = "a failed write; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc5, doc6, doc7, doc8, doc1, doc10, doc11,
		      doc12, doc13, doc14, doc15, doc16, doc17, doc18, doc19, doc20, doc21, doc22, doc23, doc24, doc25,
		      doc26, doc27, doc28, doc1, doc28a, doc28b, doc28c, doc28d, doc1, doc29a, doc29b, doc29c, doc29d, doc29e, doc29f, doc1, doc30, doc31, doc32, nullptr};
static char bname[] = "jsonparse";
static char synopsis[] = "jsonparse [-v NAME | -A NAME | -a NAME] [-T TYPES] [-C COUNTS] [-K NAMES] [-n COUNT] [-m BYTES] [-E WHY] [-s] [-t | -c] [-l | -z] [-M] [-g POINTER]... [--] [json]";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin jsonparse_struct = {
	bname, jsonparse_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
