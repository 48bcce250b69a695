// shares as a bash loadable builtin: the program's input and bytes, without
// a process per call, and the rest of the input left to the script.
//   enable -f shares shares
#include <cstdint>
#include <cstdio>
#include <locale.h>

extern "C" {
#include "builtins.h"
#include "shell.h"
#include "common.h"

// What bash's own read uses to share descriptor 0 with the script that
// bash itself may be reading from it, which the installed headers leave
// out (input.h and sig.h of bash's sources); these are bash's signatures.
extern int default_buffered_input;
int fd_is_bash_input(int fd);
int sync_buffered_stream(int bfd);
}

#include "shares.h"

static int shares_builtin(WORD_LIST *)
{
	int32_t v[5];
	char msg[80];

	// When bash reads its script from standard input ("bash < script"),
	// what it has read ahead of the line it runs goes back to the file
	// first, as read does it, so the data after this line is ours and the
	// script's next line is bash's again.
	if (interactive == 0 && default_buffered_input >= 0 && fd_is_bash_input(0))
		sync_buffered_stream(default_buffered_input);
	// zread is read's own: a signal that interrupts it runs the shell's
	// traps, or ends the shell or the command as it would end read, and
	// then it reads on.
	// Arguments are ignored, as the program ignores them.
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
	locale_t old = uselocale(c);
	printshares(stdout, v);
	uselocale(old);
	freelocale(c);
	// Flushes, and reports a write that failed.
	return sh_chkwrite(EXECUTION_SUCCESS);
}

static char doc0[] = "Print five integers' percentage shares of their total, and the total.";
static char doc1[] = "";
static char doc2[] = "Reads five integers from standard input and no further, and prints";
static char doc3[] = "each one's share with two decimals, then the total, with no newline.";
static char doc4[] = "Exit status: 0, or 1 if five integers cannot be read or written.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc4, nullptr};
static char bname[] = "shares";
static char synopsis[] = "shares";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin shares_struct = {
	bname, shares_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
