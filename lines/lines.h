// The line mode of every program: each record of standard input is one
// input, and each result one record of standard output, in order, so that
// output record N always belongs to input record N. Records end in LF
// (-l) or NUL (-z); a last one without its separator counts.
#ifndef LINES_H
#define LINES_H

#include <cstddef>
#include <sys/types.h>

enum {
	linemax = 256 << 10,	// a record, at most: a longer one is refused
	resultmax = 1 << 20,	// a result, at most
};

// Results as they are made: n bytes at p, NUL-terminated, the record at
// hand's from start on, those before it still to be written, in memory
// that the loop keeps from one record to the next.
struct lineout {
	char *p;
	size_t n, cap, start;
	bool bad;
};
// Room for n more bytes of the result and a NUL: where they go, or null
// where there is none (a result over resultmax, or no memory), which
// fails the record. lineadd appends n bytes.
char *lineroom(lineout *o, size_t n);
void lineadd(lineout *o, const char *s, size_t n);

// What a program does with one record: the n bytes at rec (NUL-terminated
// there, and writable, with room for 2n + 1 bytes in all), its result
// appended to out. Returns null, or what is wrong with the record.
typedef const char *lineworker(void *arg, char *rec, size_t n, lineout *out);

// A switch of a command line that asks for the line mode, -l or -z: true
// where o is one, with *lines and *sep set, or with *why set where it
// clashes with the other, given before.
bool lineswitch(char o, bool *lines, char *sep, const char **why);

// How the loop reads (as read(2) does, or as the shell would), and how it
// says what went wrong, in a line with no newline: for a program, on
// standard error after its name.
typedef ssize_t linereader(int fd, char *buf, size_t len);
typedef void linesay(const char *prog, const char *what);
void lineprogram(const char *prog, const char *what);

// How results reach standard output: null, as a program has it, for
// write(2) straight from the loop's pieces, with no stream between; the
// builtins' object sets its own, through the shell's stream, which the
// shell's other output shares. Called with n = 0, a writer flushes what
// it holds, and says whether all went out.
typedef bool linewriter(const char *p, size_t n);
extern linewriter *lineput;

// Every record of standard input through run, ended by sep, each result
// written followed by sep. A record that run refuses, that holds a NUL,
// that is too long, or whose result would hold sep, gives an empty
// record, and a message, "record N: WHAT"; the rest go on. Returns the
// status: 0, or 1 where a record was refused or standard input or output
// failed (a write error ends the run at once). With tally, a last message
// counts the records refused by their reason, "402 of 1200000 records
// refused: 310 duplicate name, 92 not UTF-8", so that a log's counts can
// be squared with its lines.
int eachline(const char *prog, char sep, lineworker *run, void *arg, linereader *rd = nullptr,
	     linesay *say = lineprogram, bool tally = false);

#endif
