// Handing a builtin's results to the script, shared by the builtins: a
// variable set as printf -v sets it, or an array emptied and filled as
// mapfile fills one. The bytes are stored as they are: nothing of them is
// parsed, expanded or evaluated, whatever they hold.
#ifndef SHELLVAR_H
#define SHELLVAR_H

#include "json.h"
#include "urlcode.h"

extern "C" {
#include "builtins.h"
#include "shell.h"
#include "common.h"
}

// The NAME given to -v (a variable or an element, as printf -v takes it)
// or to -a or -A (an array's name alone). When it is no such name, the
// shell's own message is printed and false returned.
bool goodname(WORD_DESC *name, bool element);

// "-v NAME" where it stands first in *list: NAME into *name (null where
// there is no -v) and *list past both. False, after a message, where NAME
// is missing or is no name that -v takes.
bool setvarname(WORD_LIST **list, WORD_DESC **name);

// Sets the variable or element to value; false, after a message, when it
// may not be set: readonly, kept by the shell (GROUPS, FUNCNAME), one
// whose assignment bash evaluates (RANDOM, SECONDS), or IFS as an array.
// Namerefs are followed to the variable that they name.
bool setvar(WORD_DESC *name, const char *value);

// The array NAME, emptied, made if need be; null, after a message, when it
// may not be set, as for setvar, or is an array of the other kind. Indexed
// arrays take elements at indexes, associative ones at keys. arrayok says
// beforehand whether newarray would succeed, and changes nothing.
SHELL_VAR *newarray(char *name, bool assoc);
bool arrayok(const char *name, bool assoc);
void setelem(SHELL_VAR *array, arrayind_t i, const char *value);
// Whether two names lead to the same variable, through namerefs.
bool samevar(const char *a, const char *b);
void setkey(SHELL_VAR *array, const char *key, const char *value);

// Every field of a query string ('a' into an indexed array, 'A' into an
// associative one) or of a Cookie header ('C') into the array NAME, each
// half decoded as urldecode decodes one argument, in copy, room for twice
// the string's length and a byte, as nextfield takes; at most most
// fields, and maxbytes of names and values as they stand, or none.
// Returns the builtin's status, after a message where it failed.
int setfields(char *name, char opt, const char *query, char *copy, bool blanks, bool escape,
	      decoding how, unsigned long long most, unsigned long long maxbytes);

// n pairs of a key and its value, in turn in kv, into the array NAME:
// indexed, keys and values in turn; associative, each key to its last
// value, or with first, its first, an empty key left out. Each key goes
// into bash's table once, found again in a table of the builtin's own, so
// that no choice of keys costs more than any other. Returns the builtin's
// status.
int setpairs(char *name, bool assoc, char *const *kv, size_t n, bool first);
// Whether n pairs, whose keys and values total bytes, are within the
// limits of -n and -m; false after a message.
bool within(size_t n, unsigned long long bytes, unsigned long long most, unsigned long long maxbytes);

// What a builtin holds of a text or of a form's fields, by default, and
// the options that raise it, -n VALUES and -m BYTES: values enough for
// any honest body of formdata's limit, a MiB, and bytes of pointers and
// values (or names and values) several times what such a body holds, so
// that a hostile MiB makes at most a few tens of MB of the shell's.
// limit reads one option's number: false, after a message, where it is
// none.
enum : unsigned long { maxvalues = 100000, maxbytes = 8UL << 20 };
bool limit(const char *option, const char *arg, unsigned long long *to);

// Every value of a JSON text into the arrays whose names are not null:
//  values: with assoc, each scalar's pointer to its value, else pointer
//    and value in turn, in input order; the whole text's pointer, "", is
//    no key, and a container has none, as its members have them;
//  types: each pointer to its type, the whole text's under "#";
//  counts: each container's pointer to its number of members, the whole
//    text's under "#", a decimal integer that the reader alone writes;
//  names: "P/i" to the name of the member i (from 0) of the object at P.
// Returns the builtin's status, after a message where it failed.
struct jsonarrays {
	char *values;
	bool assoc;
	char *types, *counts, *names;
};
bool jsonarraysok(const jsonarrays *a);
int setjson(const jsonarrays *a, const jsonflat *f);

// A program's argument vector for the words of list, name first, as the
// shared command-line readers take it, in memory from malloc (free it),
// with *argc set; null after a message where it cannot be had.
char **commandline(WORD_LIST *list, char *name, int *argc);

// n bytes of s, and a NUL after them, in memory from bash's allocator, as
// its tables expect; free it with xfree.
char *savebytes(const char *s, size_t n);

// A builtin's result handed to the script: NAME set to it, or with a null
// NAME, printed. block, the memory that holds it (or null), is freed either
// way, even when bash aborts the command midway. Returns the builtin's
// status, after a message when it failed.
int handover(WORD_DESC *name, const char *result, void *block);

// A builtin's message: on standard error, as builtin_error writes it,
// and kept, so that a script that gave -E NAME has the last one in NAME
// too, for its answer to the client. A call begins with forget; tell
// sets NAME, where it is not null, to the message kept, or empties it.
void complain(const char *format, ...) __attribute__((format(printf, 1, 2)));
// A line mode's message, as the line loop gives it (prog is bash's to
// name), and its end: the loop has said what failed, a write error too,
// so standard output is only made ready for the next command, as
// sh_chkwrite leaves it. Returns status.
void saybuiltin(const char *prog, const char *what);
int linesend(int status);
void forget();
void tell(WORD_DESC *name);

// cleanup(arg) runs if bash aborts the command before unguard, which runs
// it or not; a guard is the builtin's own while it runs.
void guard(void (*cleanup)(void *), void *arg);
void unguard(bool cleanup);

// When bash reads its script from standard input ("bash < script"), what
// it has read ahead of the line that it runs goes back first, as read does
// it, so that what follows the line is the builtin's to read, and the
// script's next line is bash's again.
void syncinput();

// An array's strings: an indexed array's values in index order, or an
// associative array's keys and values in turn, by the byte order of the
// keys, which does not depend on bash's hashing. The vector points into
// the shell's own strings; free it with xfree.
char **elements(SHELL_VAR *array, size_t *n);

#endif
