// urldecode as a bash loadable builtin: the program's command line and
// bytes, without a process per call, and with the result handed straight
// to the script on request: a variable, or a whole query string or
// Cookie header taken apart into an array.
//   enable -f urldecode urldecode
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lines.h"
#include "shellvar.h"
#include "urlcode.h"

// The line mode: each record decoded in place, where the loop left room
// to escape it.
static const char *record(void *arg, char *rec, size_t n, lineout *out)
{
	const decodejob *job = static_cast<const decodejob *>(arg);
	static char why[80];
	size_t at;
	const char *bad = job->how == strictpct ? badescape(rec, &at) : nullptr;
	if (bad != nullptr) {
		snprintf(why, sizeof why, "byte offset %zu: %s", at, bad);
		return why;
	}
	bool cut = false;
	if (job->blanks || job->escape) {
		const char *s = decodeas(rec, job->blanks, job->escape, job->plus, job->how, &cut);
		lineadd(out, s, strlen(s));
	} else {
		// Straight into the result, which is never longer than the
		// record; the loop says so where there is no room.
		char *to = lineroom(out, n);
		if (to == nullptr)
			return nullptr;
		char *end = job->how == fixedarith ? decodeinto(to, rec, n, job->plus, &cut) :
						     pctdecodeinto(to, rec, n, job->plus, job->how == lenientpct);
		out->n += static_cast<size_t>(end - to);
	}
	if (cut && job->sep == '\0')
		return "a decoded NUL byte, which would split the record";
	return nullptr;
}

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
			return EX_USAGE;
		}
		if (limits && !limit(w, list->next->word->word, w[1] == 'n' ? &most : &bytes))
			return EX_USAGE;
		if (limits)
			continue;
		opt = w;
		name = list->next->word;
		if (!goodname(name, opt[1] == 'v'))
			return EX_USAGE;
	}

	static char progname[] = "urldecode";
	int argc;
	char **argv = commandline(list, progname, &argc);
	if (argv == nullptr)
		return EXECUTION_FAILURE;
	decodejob job;
	bool good = decodeoptions(argc, argv, &job, true);
	free(argv);
	// Fields decode as forms send them, with '+' for a space, and the line
	// mode writes each result.
	if (!good || (job.lines && name != nullptr) || (!job.plus && name != nullptr && opt[1] != 'v')) {
		builtin_usage();	// the builtin's own synopsis, its options in it
		return EX_USAGE;
	}
	if (job.lines) {
		// The records may follow this line in bash's own script; zread
		// is read's own, which runs the traps of a signal and reads on.
		syncinput();
		return linesend(eachline("urldecode", job.sep, record, &job, zread, saybuiltin));
	}
	const char *arg = job.arg;
	size_t at;
	const char *bad = job.how == strictpct ? badescape(arg, &at) : nullptr;
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
		return handover(name, decodeas(copy, job.blanks, job.escape, job.plus, job.how, nullptr), copy);
	int status = setfields(name->word, opt[1], arg, copy, job.blanks, job.escape, job.how, most, bytes);
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
static char doc12c[] = "After --, the last word is url, whatever it reads: write it so before";
static char doc12d[] = "a variable's value.";
static char doc13[] = "With -s, anywhere among -b and -e, a '%' not followed by two hex";
static char doc14[] = "digits, or '%00', is an error, and no decoded byte is read again;";
static char doc14a[] = "with -k, such a '%' and '%00' stay as they stand, and no decoded";
static char doc14b[] = "byte is read again. With -p, '+' stays a plus sign, as in a path.";
static char doc14c[] = "With -l or -z in place of url, each line (or NUL-ended record) of";
static char doc14d[] = "standard input is decoded into one of standard output; a record";
static char doc14e[] = "that fails gives an empty one and a message, and the rest go on.";
static char doc15[] = "Exit status: 0, or 1 on a NAME that cannot be set, a bad escape";
static char doc16[] = "with -s, fields past -n or -m, a record of the line mode that";
static char doc16a[] = "failed, or a failed write; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc4, doc5, doc6, doc7, doc8, doc9, doc10, doc11, doc12,
		      doc12a, doc12b, doc1, doc12c, doc12d, doc1, doc13, doc14, doc14a, doc14b, doc1, doc14c, doc14d, doc14e, doc1, doc15,
		      doc16, doc16a, nullptr};
static char bname[] = "urldecode";
static char synopsis[] = "urldecode [-v NAME | -a NAME | -A NAME | -C NAME] [-n COUNT] [-m BYTES] [-b] [-e] [-s | -k] [-p] [--] url | -l | -z";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin urldecode_struct = {
	bname, urldecode_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
