// htmlescape, jsonquote and setcookie as bash loadable builtins, TOOL
// naming the one: the program's command line and bytes, with no process
// per call, and the result handed to a variable with -v NAME, first.
//   enable -f htmlescape htmlescape
#include <cstdlib>
#include <cstring>

#include "answer.h"
#include "json.h"
#include "shellvar.h"

#define NAME_(t) #t
#define NAME(t) NAME_(t)
#define STRUCT_(t) t##_struct
#define STRUCT(t) STRUCT_(t)

#if TOOLNO == 1
// jsonquote -A NAME [-T TYPES] [-r]: a JSON text built from the arrays
// that jsonparse -A and -T give, its objects' members in name order.
static int build(WORD_DESC *name, WORD_LIST *list)
{
	char *values = nullptr, *types = nullptr;
	bool array = false;
	for (; list != nullptr; list = list->next) {
		const char *w = list->word->word;
		if (strcmp(w, "-r") == 0) {
			array = true;
		} else if ((strcmp(w, "-A") == 0 || strcmp(w, "-T") == 0) && list->next != nullptr) {
			(w[1] == 'A' ? values : types) = list->next->word->word;
			list = list->next;
		} else {
			builtin_usage();
			return EX_USAGE;
		}
	}
	SHELL_VAR *v = values != nullptr ? find_variable(values) : nullptr;
	SHELL_VAR *t = types != nullptr ? find_variable(types) : nullptr;
	if (values == nullptr || v == nullptr || !assoc_p(v) || (types != nullptr && (t == nullptr || !assoc_p(t)))) {
		builtin_error("%s: not an associative array", v == nullptr || !assoc_p(v) ? values : types);
		return EXECUTION_FAILURE;
	}
	size_t n, nt = 0;
	char **kv = elements(v, &n), **tv = t != nullptr ? elements(t, &nt) : nullptr;
	jsonbuf out = {};
	char why[256];
	const char *bad = jsonbuild(kv, n / 2, tv, nt / 2, array, &out, why, sizeof why);
	xfree(kv);
	xfree(tv);
	if (bad != nullptr) {
		jsonfree(&out);
		builtin_error("%s", bad);
		return EXECUTION_FAILURE;
	}
	int status = handover(name, out.p, nullptr);
	jsonfree(&out);
	return status;
}
#endif

static int tool_builtin(WORD_LIST *list)
{
	WORD_DESC *name = nullptr;
	if (!setvarname(&list, &name))
		return EX_USAGE;
#if TOOLNO == 1
	if (list != nullptr && strcmp(list->word->word, "-A") == 0)
		return build(name, list);
#endif
	static char progname[] = NAME(TOOL);
	int argc;
	char **argv = commandline(list, progname, &argc);
	if (argv == nullptr)
		return EXECUTION_FAILURE;
	// The program's line mode, which writes each result: -l or -z alone.
	bool lines = argc == 2 && (strcmp(argv[1], "-l") == 0 || strcmp(argv[1], "-z") == 0);
	if (lines && TOOLNO != 2) {
		int status = EX_USAGE;
		if (name != nullptr) {
			builtin_usage();
		} else {
			// The records may follow this line in bash's own script;
			// zread is read's own, which runs the traps of a signal and
			// reads on.
			syncinput();
			status = linesend(answereach(NAME(TOOL), argc, argv, zread, saybuiltin));
		}
		free(argv);
		return status;
	}
	const char *why;
	char *out = answer(NAME(TOOL), argc, argv, &why);
	free(argv);
	if (out == nullptr) {
		complain("%s", why);
		return strncmp(why, "usage:", 6) == 0 ? EX_USAGE : EXECUTION_FAILURE;
	}
	return handover(name, out, out);
}

#if TOOLNO == 0
static char doc0[] = "Escape a string for HTML and print it, with no newline.";
static char doc1[] = "";
static char doc2[] = "& < > \" ' become &amp; &lt; &gt; &quot; &#x27;; every other byte";
static char doc3[] = "stays as it is. The result is safe in HTML text and in a quoted";
static char doc4[] = "attribute, not in an unquoted one, a URL attribute or a script.";
static char synopsis[] = "htmlescape [-v NAME] [--] string | -l | -z";
#elif TOOLNO == 1
static char doc0[] = "Quote a string as one JSON string literal and print it, with no newline.";
static char doc1[] = "";
static char doc2[] = "As Python's json.dumps(s, ensure_ascii=False), then < > & U+2028";
static char doc3[] = "U+2029 as \\u escapes, safe in a <script> too. A string that is not";
static char doc4[] = "UTF-8 is an error, and nothing is printed.";
static char doc5x[] = "With -A NAME, builds one JSON text from NAME, each JSON Pointer to its";
static char doc6x[] = "value, as jsonparse -A gives them, typed by -T TYPES; an array with -r.";
static char synopsis[] = "jsonquote [-v NAME] [--] string | [-v NAME] -A NAME [-T TYPES] [-r] | -l | -z";
#else
static char doc0[] = "Print a Set-Cookie header line, with no newline and no CR.";
static char doc1[] = "";
static char doc2[] = "-p PATH, -d DOMAIN, -m MAX-AGE, -s Secure, -h HttpOnly, -S SameSite.";
static char doc3[] = "Each byte of the value outside RFC 6265's cookie-octet, and %, is %XX,";
static char doc4[] = "so urldecode -C gives it back. A bad name, attribute or prefix is refused.";
static char synopsis[] = "setcookie [-v NAME] [-p PATH] [-d DOMAIN] [-m MAX-AGE] [-s] [-h] [-S Strict|Lax|None] [--] name value";
#endif
static char doc5[] = "  -v NAME   set the variable NAME to the result, as printf -v does;";
static char doc6[] = "            only ever first";
#if TOOLNO == 2
static char doc6a[] = "After --, the last two words are name and value, whatever they read:";
static char doc6b[] = "write it so before a variable's value.";
#else
static char doc6a[] = "After --, the last word is the string, whatever it reads: write it so";
static char doc6b[] = "before a variable's value. -l or -z alone: each line (or NUL-ended record)";
static char doc6c[] = "of standard input is one string, its result a line of standard output.";
#endif
static char doc7[] = "Exit status: 0, or 1 on a refused input, a NAME that cannot be set,";
static char doc8[] = "a record of the line mode that failed, or a failed write; 2 on a bad";
static char doc8a[] = "command line.";
#if TOOLNO == 1
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc1, doc5x, doc6x, doc1, doc5, doc6, doc1, doc6a, doc6b, doc6c,
		      doc1, doc7, doc8, doc8a, nullptr};
#elif TOOLNO == 0
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc1, doc5, doc6, doc1, doc6a, doc6b, doc6c, doc1, doc7, doc8,
		      doc8a, nullptr};
#else
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc1, doc5, doc6, doc1, doc6a, doc6b, doc1, doc7, doc8, doc8a,
		      nullptr};
#endif
static char bname[] = NAME(TOOL);

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin STRUCT(TOOL) = {
	bname, tool_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
