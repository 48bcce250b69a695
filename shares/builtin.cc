// shares as a bash loadable builtin: the program's input and bytes, without
// a process per call, the rest of the input left to the script, and with
// the result handed straight to the script on request.
//   enable -f shares shares
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <locale.h>

#include "shares.h"
#include "shellvar.h"

static int shares_builtin(WORD_LIST *list)
{
	int32_t v[5];
	char msg[80];

	// -a NAME or -v NAME; every other argument is ignored, as the program
	// ignores them all.
	char *opt = nullptr;
	WORD_DESC *name = nullptr;
	for (WORD_LIST *l = list; l != nullptr; l = l->next) {
		if (strcmp(l->word->word, "-a") != 0 && strcmp(l->word->word, "-v") != 0)
			continue;
		opt = l->word->word;
		if (l->next == nullptr) {
			sh_needarg(opt);
			return EX_USAGE;
		}
		l = l->next;
		name = l->word;
	}
	if (name != nullptr && !goodname(name, opt[1] == 'v'))
		return EX_USAGE;

	// The data may follow this line in bash's own script.
	syncinput();
	// zread is read's own: a signal that interrupts it runs the shell's
	// traps, or ends the shell or the command as it would end read, and
	// then it reads on.
	if (!readfive(0, v, msg, sizeof msg, zread)) {
		fprintf(stderr, "shares: %s\n", msg);
		return EXECUTION_FAILURE;
	}
	// The shell runs in the user's locale, but the decimal point is '.'
	// whatever it is, as in the program, which never leaves the C locale.
	locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
	if (c == static_cast<locale_t>(0)) {
		builtin_error("cannot use the C locale");
		return EXECUTION_FAILURE;
	}
	char line[linesize];
	locale_t old = uselocale(c);
	formatshares(line, v);
	uselocale(old);
	freelocale(c);

	if (name == nullptr || opt[1] == 'v')
		return handover(name, line, nullptr);
	SHELL_VAR *array = newarray(name->word, false);
	if (array == nullptr)
		return EXECUTION_FAILURE;
	char *field[6];
	splitshares(line, field);
	for (int i = 0; i < 6; i++)
		setelem(array, i, field[i]);
	return EXECUTION_SUCCESS;
}

static char doc0[] = "Print five integers' percentage shares of their total, and the total.";
static char doc1[] = "";
static char doc2[] = "Reads five integers from standard input and no further, and prints";
static char doc3[] = "each one's share with two decimals, then the total, with no newline.";
static char doc4[] = "Options, which print nothing:";
static char doc5[] = "  -v NAME   set the variable NAME to the line, as printf -v does";
static char doc6[] = "  -a NAME   set the array NAME to its six fields, without padding";
static char doc7[] = "Exit status: 0, or 1 if five integers cannot be read, NAME cannot be";
static char doc8[] = "set, or the line cannot be written; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc4, doc5, doc6, doc1, doc7, doc8, nullptr};
static char bname[] = "shares";
static char synopsis[] = "shares [-a NAME | -v NAME]";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin shares_struct = {
	bname, shares_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
