// httphead as a bash loadable builtin: the program's command line and
// bytes, without a process per call, and a head's fields or a value's
// parts handed to the script in arrays, nothing evaluated.
//   enable -f httphead httphead
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "httpjob.h"
#include "shellvar.h"

// What a call holds, freed even when bash aborts it.
struct call {
	httpout o;
	jsonbuf out;
	char **kv;
};

static void undo(void *p)
{
	call *c = static_cast<call *>(p);
	httpfree(&c->o);
	jsonfree(&c->out);
	free(c->kv);
	free(c);
}

// The builtin's own options, only ever first, each with its word.
struct own {
	WORD_DESC *name, *why;
	char *assoc, *cookies, *types;
};

static bool options(WORD_LIST **list, own *o)
{
	*o = {};
	for (WORD_LIST *l = *list; l != nullptr; l = l->next->next, *list = l) {
		const char *w = l->word->word;
		if (w[0] != '-' || w[1] == '\0' || w[2] != '\0' || strchr("vACTE", w[1]) == nullptr)
			return true;
		if (l->next == nullptr) {
			sh_needarg(l->word->word);
			return false;
		}
		char *arg = l->next->word->word;
		switch (w[1]) {
		case 'v':
			o->name = l->next->word;
			if (!goodname(o->name, true))
				return false;
			break;
		case 'A':
			o->assoc = arg;
			break;
		case 'C':
			o->cookies = arg;
			break;
		case 'T':
			o->types = arg;
			break;
		default:
			o->why = l->next->word;
			if (!goodname(o->why, true))
				return false;
		}
	}
	return true;
}

// The pairs of o whose type is, or is not, a cookie, into kv: keys and
// values in turn, or with types, keys and types; with bare, values alone.
static size_t pick(const httpout *o, char **kv, bool cookies, bool types, bool bare)
{
	size_t n = 0;
	for (size_t i = 0; i < o->n; i++) {
		bool cookie = o->p[i].type != nullptr && samestr(o->p[i].type, "cookie");
		if (cookie != cookies || (types && o->p[i].type == nullptr))
			continue;
		if (!bare)
			kv[n++] = const_cast<char *>(httpkey(o, i));
		kv[n++] = types ? const_cast<char *>(o->p[i].type) : const_cast<char *>(httpvalue(o, i));
	}
	return n;
}

static int store(const own *w, call *c)
{
	c->kv = static_cast<char **>(malloc((2 * c->o.n + 1) * sizeof *c->kv));
	if (c->kv == nullptr) {
		complain("cannot allocate the result");
		return EXECUTION_FAILURE;
	}
	int status = EXECUTION_SUCCESS;
	if (w->assoc != nullptr)
		status = setpairs(w->assoc, true, c->kv, pick(&c->o, c->kv, false, false, false) / 2, true);
	if (status == EXECUTION_SUCCESS && w->types != nullptr)
		status = setpairs(w->types, true, c->kv, pick(&c->o, c->kv, false, true, false) / 2, true);
	if (status == EXECUTION_SUCCESS && w->cookies != nullptr) {
		size_t n = pick(&c->o, c->kv, true, false, true);
		SHELL_VAR *a = newarray(w->cookies, false);
		if (a == nullptr)
			return EXECUTION_FAILURE;
		for (size_t i = 0; i < n; i++)
			setelem(a, static_cast<arrayind_t>(i), c->kv[i]);
	}
	return status;
}

static int httphead_builtin(WORD_LIST *list)
{
	own w;
	forget();
	if (!options(&list, &w))
		return EX_USAGE;
	bool arrays = w.assoc != nullptr || w.cookies != nullptr || w.types != nullptr;
	if (arrays && w.name != nullptr) {
		builtin_usage();
		return EX_USAGE;
	}
	if ((w.assoc != nullptr && !arrayok(w.assoc, true)) || (w.types != nullptr && !arrayok(w.types, true)) ||
	    (w.cookies != nullptr && !arrayok(w.cookies, false)))
		return EXECUTION_FAILURE;

	static char progname[] = "httphead";
	int argc;
	char **argv = commandline(list, progname, &argc);
	if (argv == nullptr)
		return EXECUTION_FAILURE;
	headjob j;
	const char *why = headoptions(argc, argv, &j);
	if (why == nullptr && j.lines && (arrays || w.name != nullptr))
		why = "-l and -z write each record's value: -v, -A, -C and -T take one";
	if (why == nullptr && w.cookies != nullptr && j.read != nullptr)
		why = "-C takes a head's Set-Cookie lines: not with -t";
	if (why == nullptr && arrays && j.get != nullptr)
		why = "-g goes with -v or with no NAME: -A, -C and -T take every part";
	if (why != nullptr) {
		free(argv);
		complain("%s", why);
		tell(w.why);
		builtin_usage();
		return EX_USAGE;
	}
	if (j.lines) {
		// The values may follow this line in bash's own script; zread is
		// read's own, which runs the traps of a signal and reads on.
		syncinput();
		int status = linesend(headeach(&j, zread, saybuiltin));
		free(argv);
		tell(w.why);
		return status;
	}

	call *c = static_cast<call *>(xmalloc(sizeof *c));
	*c = {};
	guard(undo, c);
	if (j.read == nullptr && j.nvalues == 0)
		syncinput();
	why = headrun(&j, zread, &c->o);
	free(argv);
	if (why == nullptr && c->o.bad)
		why = "cannot allocate the result";
	int status = EXECUTION_FAILURE;
	if (why == nullptr && arrays) {
		status = store(&w, c);
	} else if (why == nullptr) {
		why = headprint(&j, &c->o, &c->out);
		if (why == nullptr && w.name != nullptr)
			status = setvar(w.name, c->out.p != nullptr ? c->out.p : "") ? EXECUTION_SUCCESS : EXECUTION_FAILURE;
		else if (why == nullptr && c->out.n > 0 && fwrite(c->out.p, 1, c->out.n, stdout) != c->out.n)
			why = "write error";
		else if (why == nullptr)
			status = sh_chkwrite(EXECUTION_SUCCESS);
	}
	if (why != nullptr)
		complain("%s", why);
	tell(w.why);
	unguard(true);
	return status;
}

static char doc0[] = "Read a response's head, or one field's value by its grammar.";
static char doc1[] = "";
static char doc2[] = "Reads what curl -D FILE or curl -i writes, from FILE or standard";
static char doc3[] = "input, and takes the last head (after a 100 Continue and each";
static char doc4[] = "redirect): prints its status code, or with -g NAME one field's value,";
static char doc5[] = "the lines of a repeated field joined with \", \". A head that RFC 9112";
static char doc6[] = "refuses is refused; -s refuses a folded line too. -m BYTES and";
static char doc7[] = "-F FIELDS raise a head's limits, 64 KiB and 1000 fields.";
static char doc8[] = "With -t TYPE, the VALUEs are one field's lines, read by TYPE's";
static char doc9[] = "grammar: link (against -b BASE), date, retry-after (from -n NOW, the";
static char doc10[] = "clock by default), disposition, auth, sf-item, sf-list, sf-dict.";
static char doc11[] = "Options, only ever first, that print nothing:";
static char doc12[] = "  -v NAME    set the variable NAME to what would be printed";
static char doc13[] = "  -A NAME    set the associative array NAME to every part: a head's";
static char doc14[] = "             :status, :reason, :version and fields by lower-cased";
static char doc15[] = "             name; each link's first URL by relation; a";
static char doc16[] = "             disposition's type, parameters and filename; a";
static char doc17[] = "             challenge's N/scheme and N/PARAM; a structured";
static char doc18[] = "             field's members by path (0, 0/1, key, key/;param)";
static char doc19[] = "  -C COOKIES set the indexed array COOKIES to the Set-Cookie lines";
static char doc20[] = "  -T TYPES   set the associative array TYPES to each path's type";
static char doc21[] = "  -E WHY     set WHY to the reason for a refusal, or empty it";
static char doc22[] = "Put -- before the VALUEs, whatever they hold. With -l or -z, each";
static char doc23[] = "line (or NUL-ended record) of standard input is one value.";
static char doc24[] = "Exit status: 0, or 1 on a refused head or value, a NAME or KEY that";
static char doc25[] = "names nothing, or a failed write; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc5, doc6, doc7, doc1, doc8, doc9, doc10, doc1, doc11,
		      doc12, doc13, doc14, doc15, doc16, doc17, doc18, doc19, doc20, doc21, doc1, doc22, doc23,
		      doc1, doc24, doc25, nullptr};
static char bname[] = "httphead";
static char synopsis[] = "httphead [-v NAME | -A NAME] [-C COOKIES] [-T TYPES] [-E WHY] [-s] [-m BYTES] [-F FIELDS] "
			 "[-t TYPE [-b BASE] [-n NOW] [-l | -z]] [-g NAME] [--] [file | VALUE...]";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin httphead_struct = {
	bname, httphead_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
