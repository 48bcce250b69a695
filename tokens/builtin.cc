// b64, hmac and randtoken as bash loadable builtins, TOOL naming the one:
// the program's command line, with no process per call, the result handed
// to a variable with -v NAME, first. hmac's -k NAME takes the key from a
// shell variable, so that set -x shows its name alone.
//   enable -f hmac hmac
#include <cstdlib>
#include <cstring>

#include "shellvar.h"
#include "tokens.h"

#define NAME_(t) #t
#define NAME(t) NAME_(t)
#define STRUCT_(t) t##_struct
#define STRUCT(t) STRUCT_(t)

static const char *keyvar(const char *name)
{
	SHELL_VAR *v = find_variable(name);
	if (v == nullptr || array_p(v) || assoc_p(v) || invisible_p(v))
		return nullptr;
	return value_cell(v);
}

static int tool_builtin(WORD_LIST *list)
{
	WORD_DESC *name = nullptr;
	if (!setvarname(&list, &name))
		return EXECUTION_FAILURE;
	static char progname[] = NAME(TOOL);
	int argc;
	char **argv = commandline(list, progname, &argc);
	if (argv == nullptr)
		return EXECUTION_FAILURE;
	syncinput();
	const char *why;
	size_t n;
	char *out = tokens(NAME(TOOL), argc, argv, keyvar, &n, &why);
	free(argv);
	if (out == nullptr) {
		if (why != nullptr)
			builtin_error("%s", why);
		return EXECUTION_FAILURE;
	}
	if (memchr(out, '\0', n) != nullptr) {
		free(out);
		builtin_error("a NUL byte in the result, which a shell string cannot hold");
		return EXECUTION_FAILURE;
	}
	return handover(name, out, out);
}

#if TOOLNO == 0
static char doc0[] = "Encode a string, or standard input, as base64 and print it, with no newline.";
static char doc1[] = "";
static char doc2[] = "-u: base64url, with no padding. -d decodes, strictly: a character";
static char doc3[] = "outside the alphabet, a blank, wrong padding or bits left over are";
static char doc4[] = "refused (-d -u takes padding where it is right). A decoded NUL is an error.";
static char synopsis[] = "b64 [-v NAME] [-d] [-u] [string]";
#elif TOOLNO == 1
static char doc0[] = "Print the HMAC of a string, or of standard input, as lower-case hex.";
static char doc1[] = "";
static char doc2[] = "-a sha1|sha256|sha384|sha512 (sha256). The key from -K FILE or the";
static char doc3[] = "variable -k NAME, never a word: -f raw|hex|base64 says how it is";
static char doc4[] = "written. -b base64, -u base64url. -c EXPECTED prints nothing: the";
static char doc4x[] = "status is 0 where any key's MAC equals it, in constant time.";
static char synopsis[] = "hmac [-v NAME] [-a ALG] [-K FILE | -k NAME]... [-f raw|hex|base64] [-N] [-b | -u] [-c EXPECTED] [string]";
#else
static char doc0[] = "Print a random token of 32 bytes from the kernel, as hex.";
static char doc1[] = "";
static char doc2[] = "-n BYTES, from 1 to 1024, for another length; -u base64url, with no";
static char doc3[] = "padding. For session ids and CSRF tokens, where $RANDOM will not do.";
#endif
static char doc5[] = "  -v NAME   set the variable NAME to the result, as printf -v does;";
static char doc6[] = "            only ever first";
static char doc7[] = "Exit status: 0, or 1 on a bad command line, a refused input, a";
static char doc8[] = "mismatch under -c, a NAME that cannot be set, or a failed write.";
#if TOOLNO == 1
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc4x, doc1, doc5, doc6, doc1, doc7, doc8, nullptr};
#elif TOOLNO == 2
static char synopsis[] = "randtoken [-v NAME] [-n BYTES] [-u]";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc5, doc6, doc1, doc7, doc8, nullptr};
#else
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc1, doc5, doc6, doc1, doc7, doc8, nullptr};
#endif
static char bname[] = NAME(TOOL);

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin STRUCT(TOOL) = {
	bname, tool_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
