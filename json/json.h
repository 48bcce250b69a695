// A JSON text (RFC 8259) read strictly, as a stream of values each named
// by its JSON Pointer (RFC 6901), and a text built back from such values.
// Whatever parsers read in different ways is refused: bytes that are not
// UTF-8, a byte order mark, a lone surrogate, \u0000 or a NUL byte, a
// name given twice in one object, anything outside the grammar, nesting
// deeper than jsondepth. Numbers are never converted: their text is kept
// as it stands. Nothing here recurses, and the reader's memory grows with
// the nesting and with the names of the objects that are open, never with
// the length of the text.
#ifndef JSON_H
#define JSON_H

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

#include "words.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

enum jsontype { jsonnull, jsonboolean, jsonnumber, jsonstring, jsonarray, jsonobject };
extern const char *const jsontypes[];	// "null", "boolean", ... "object"

enum { jsondepth = 1000, jsonpiece = 65536 };
// Of the pointers asked for, where the next step begins is held for the
// first few, and past an offset that a step's place cannot hold, found.
enum { jsonstepsheld = 8, jsonnostep = 0xFFFF };

// How a stream is read: as read(2) does, or as the shell would.
typedef ssize_t jsonreadfn(int fd, char *buf, size_t len);

// A growing byte string, null while empty; an allocation that fails sets
// bad, and what comes after is dropped.
struct jsonbuf {
	char *p;
	size_t n, cap;
	bool bad;
};
// Room for n more bytes and a NUL: where they go, or null.
char *jsongrow(jsonbuf *b, size_t n);
// n bytes copied sixteen at a move (eight where the machine has no such
// registers), out of line, for the long pieces of jsonadd: the compiler
// cannot tell there that a long copy never comes from a short array.
void jsoncopy(char *to, const char *from, size_t n);
// Inline, as the text is mostly made of pieces of a byte or two.
inline void jsonadd(jsonbuf *b, const char *s, size_t n)
{
	char *at = b->n + n < b->cap ? b->p + b->n : jsongrow(b, n);
	if (at == nullptr)
		return;
	if (n >= 32)
		jsoncopy(at, s, n);
	else
		copywords(at, s, n);
	b->n += n;
	b->p[b->n] = '\0';
}
void jsonfree(jsonbuf *b);

// Pieces of a message, appended at at in m, of size bytes, NUL-ended and
// cut short where they do not fit: bytes, and a number in decimal. Each
// returns where the next piece goes.
size_t jsoncat(char *m, size_t at, size_t size, const char *s, size_t n);
// memcmp, the reader's own, as each call of the C library's costs a
// program a symbol to bind when it starts.
int jsoncmp(const char *a, const char *b, size_t n);
// A keyed hash of n bytes and a seed, for the reader's and the builder's
// tables: its key is random, drawn once a process, so that no sender can
// choose names that share a slot.
uint64_t jsonhash(const char *s, size_t n, uint64_t seed);
size_t jsonnum(char *m, size_t at, size_t size, unsigned long long v);

struct jsonlevel;

// A text being read. Its fields are the reader's own but for those that
// jsonnext describes.
struct json {
	const char *buf;		// the bytes not yet taken, from start to end
	char *own;			// a stream's window
	size_t start, end;
	unsigned long long off;		// the offset of buf[0] in the text
	int fd;
	jsonreadfn *rd;
	unsigned long long left;	// a stream's bytes not yet read
	bool eof, strict;
	int state, depth;
	int quiet;			// the depth of a container passed over, or 0
	bool hidden;			// what is passed over was never announced
	const char *const *want;	// the pointers asked for, as jsonwant has them
	int nwant;
	uint64_t wild;			// which of them have a step for every member
	uint64_t ways;			// of the value at hand, as its container has them
	bool all;
	uint16_t stepat[jsonstepsheld];		// where the next step of the first eight begins
	jsonlevel *levels;
	int nlevels;
	jsonbuf name;			// a member's name, as it is read
	const char *nameat;		// where it is: in name, or in a text in memory
	size_t namelen;
	jsonbuf ptr;			// the pointer of the value at hand
	jsonbuf fold;			// a name, case folded, where strict
	// The value at hand, as jsonnext describes it.
	jsontype type;
	const char *data;
	size_t len;
	bool more;
	unsigned long count;
	// A number's digits, for the strict checks.
	unsigned nstate;
	size_t intdigits, sig, zeros;
	long long exp;
	bool expneg, fraction;
	char digits[312];
	char piece[jsonpiece];
	char msg[256];
};

// Starts on a text in memory (n bytes at s, which must stay), or on a
// stream of at most limit bytes from fd, read by rd (read(2) where null).
// strict adds I-JSON's rules (RFC 7493): no integer without a fraction or
// exponent beyond 2^53 - 1 in magnitude, no number beyond a double's
// range, no noncharacter, no two names of an object equal under Unicode's
// simple case folding. j must be zeroed the first time; it keeps its
// memory from one text to the next, and jsonend frees it, and leaves it
// zeroed. jsonagain gives back what one text made large, before another.
void jsonmem(json *j, const char *s, size_t n, bool strict);
void jsonstream(json *j, int fd, jsonreadfn *rd, unsigned long long limit, bool strict);
void jsonend(json *j);
void jsonagain(json *j);

// The next event of the text:
//  jsonvalue: a value begins, of j->type, named by the pointer j->ptr
//    (j->ptr.n bytes, escaped as RFC 6901 has it, "" for the whole text).
//    A scalar comes with its bytes in j->data and j->len: a string's,
//    decoded; a number's text; "true", "false" or "null". Where j->more is
//    set, the rest follows in jsonmore events, in pieces of whole
//    characters.
//  jsonmore: more of the scalar, and j->more again where there is more.
//  jsonclose: the container named by j->ptr ends; j->count is the number
//    of its members.
//  jsondone: the text ended, whole and good.
//  jsonfailed: refused, or unread: j->msg says why, with the byte offset
//    and the pointer of the value that was being read.
enum jsonevent { jsonvalue, jsonmore, jsonclose, jsondone, jsonfailed };
jsonevent jsonnext(json *j);
// Passes over the container that has just begun (after its jsonvalue
// event): it is read and checked as strictly, but without a pointer made
// or a string kept for what is in it, and the next event is its jsonclose,
// with its count. Where it is refused, the message names the pointer
// within it all the same.
void jsonskip(json *j);
// Only the values at or under the n patterns (as jsonunder takes them),
// and the containers on the way to them, are announced: any other member
// is read and checked as strictly, but passed over, with no event. Called
// after jsonmem or jsonstream; patterns must stay.
void jsonwant(json *j, const char *const *patterns, int n);
// Whether the value that has just begun is an object's member, whose name
// is then in j->name.
bool jsonnamed(const json *j);
// Whether it is the first member of its container; its place there, from 0.
bool jsonfirst(const json *j);
unsigned long jsonplace(const json *j);

// A pointer given on a command line, in its escaped form: "" or "/a/b~1c".
// Returns null, or what is wrong with it. With every, a step may be a
// lone "~", which stands for every element or member at that place: JSON
// Pointer escapes '~' as "~0" in a name, so a lone '~' is never a name.
const char *jsonpointer(const char *p, bool every = false);
// How the escaped pointer of n bytes at ptr stands to such patterns: 2
// where it is one or under one, 1 where it is on the way to one (a
// container that holds what one names), 0 where it is neither.
int jsonunder(const char *ptr, size_t n, const char *const *patterns, int npatterns);
// The first name of pointer p unescaped into out (a name of a pointer
// never grows when unescaped): returns where the rest of p begins, or null
// where p has no name left.
const char *jsonname(const char *p, jsonbuf *out);

// jsonplain: how many of the n bytes at p stand for themselves in a
// string, printable ASCII but for '"' and '\\'. Sixteen at a time where
// the machine has the registers for it, as every x86-64 has (a byte below
// 0x20 or from 0x80 is below 0x20 as a signed byte); eight elsewhere.
inline size_t jsonplain(const unsigned char *p, size_t n)
{
	size_t i = 0;
#ifdef __SSE2__
	const __m128i quote = _mm_set1_epi8('"'), slash = _mm_set1_epi8('\\'), space = _mm_set1_epi8(0x20);
	for (; i + 16 <= n; i += 16) {
		__m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
		__m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, slash)),
					   _mm_cmplt_epi8(v, space));
		unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hit));
		if (m != 0)
			return i + static_cast<size_t>(__builtin_ctz(m));
	}
#else
	// A byte's top bit, or its low seven bits below 0x20 (which cannot
	// carry into the next byte), or a byte equal to '"' or '\\'.
	const uint64_t lows = 0x7F7F7F7F7F7F7F7FULL;
	for (; i + 8 <= n; i += 8) {
		uint64_t w = loadword(p + i);
		uint64_t hit = (w & ~lows) | (~(((w & lows) + byteones * 0x60) | w) & ~lows) |
			       zerobytes(w ^ (byteones * '"')) | zerobytes(w ^ (byteones * '\\'));
		if (hit != 0)
			break;	// the bytes of this word tell which came first
	}
#endif
	while (i < n && p[i] >= 0x20 && p[i] < 0x80 && p[i] != '"' && p[i] != '\\')
		i++;
	return i;
}

// jsonplainnum: how long the number at p is, where it is one that no
// strict check can refuse (at most fifteen digits before any fraction,
// no exponent) and something follows it within the n bytes; 0 where it is
// not, which leaves it to the reader's own, which says what is wrong.
inline size_t jsonplainnum(const unsigned char *p, size_t n)
{
	size_t at = n > 0 && p[0] == '-' ? 1 : 0, digits = at;
	if (at < n && p[at] == '0')
		at++;
	else
		while (at < n && p[at] >= '0' && p[at] <= '9')
			at++;
	if (at == digits || at - digits > 15)
		return 0;
	if (at < n && p[at] == '.') {
		size_t f = ++at;
		while (at < n && p[at] >= '0' && p[at] <= '9')
			at++;
		if (at == f)
			return 0;
	}
	if (at == n || (p[at] >= '0' && p[at] <= '9') || p[at] == '.' || p[at] == 'e' || p[at] == 'E')
		return 0;
	return at;
}

// Reading at speed, where a text in memory is plain. jsonstep: whether
// the escaped step of k bytes at p names the member of n bytes at name.
// jsonnonchar: whether code point c is a noncharacter. jsonscan: whether
// the text of n bytes is one that it follows and finds good, as the reader
// would, with where the value that each of the np pointers names lies in
// spans; false where it is not, which leaves the text to the reader. The
// byte after the text must be a NUL, as a record's is: it ends every run
// without a check of where the text ends. shapes, where it is not null,
// is what jsonscan keeps of the last texts that it found good for the
// same pointers, zeroed at first: a text with the same bytes between its
// scalars as one of them is checked against it, not read anew.
struct jsonspan {
	size_t at, len;
	bool found;
};
// A text's shape: its bytes (of at most jsonshapebytes); where each run
// of bytes before, between and after its scalars (fewer than jsonshapeslots)
// begins, and its length; and where each pointer's value begins and ends,
// as a place in one of those runs.
enum { jsonshapebytes = 4096, jsonshapeslots = 256 };
struct jsonrunat {
	uint32_t run, off;
};
struct jsonshape {
	size_t n;		// 0: none yet
	bool strict;
	int slots;
	uint32_t run[2 * (jsonshapeslots + 1)];
	bool found[64];
	jsonrunat from[64], to[64];
	unsigned char text[jsonshapebytes];
};
// The two last shapes, as a log's records may take turns in two (those
// of an error and the others); which was found or made last; and how many
// texts in a row have had neither, and how many more will not be checked
// against them, which grows with the first so that a text with a shape of
// its own costs little more than its reading.
struct jsonshapes {
	jsonshape two[2];
	int last;
	unsigned misses, wait;
};
bool jsonstep(const char *p, size_t k, const char *name, size_t n);
bool jsonnonchar(unsigned long c);
bool jsonscan(const char *text, size_t n, bool strict, const char *const *pointers, int np, jsonshapes *shapes,
	      jsonspan *spans);

// Writing a text back: the escaped body of n bytes of UTF-8 (no quotes),
// as jsonquote escapes a string, into out; and the name of a member.
void jsonstr(jsonbuf *out, const char *s, size_t n);
void jsonescname(jsonbuf *out, const char *s, size_t n);

// A text built from pointers and values, as the builtin's -A gives them:
// n keys and values in turn in kv, and optional types in turn in tv (nt
// pairs), each pointer to "object", "array", "string", "number",
// "boolean" or "null". Returns null with the compact text in out, each
// object's members in the byte order of their names, or what is wrong.
// The whole text is an array where array is set, else an object.
const char *jsonbuild(char *const *kv, size_t n, char *const *tv, size_t nt, bool array,
		      jsonbuf *out, char *why, size_t whysize);

// The command line, jsonparse [-s] [-t | -c] [-g POINTER] [--] [json], as
// the program and the builtin take it (argv[0] is the name): what to
// print of the value, 0 for the value itself, 't' for its type, 'c' for
// its count of members; given, whether -t, -c or -g was; and the text, or
// null for standard input. Returns null, or what is wrong in one line.
// With -l or -z and no json, the program's line mode: each record of
// standard input is a text, and -g may be given more than once, each
// pointer in pointers.
enum { jsonmaxget = 64 };
struct jsonjob {
	bool strict, given;
	bool must;		// -M: in the line mode, a pointer that names nothing fails its record
	char what;
	const char *pointer;
	const char *text;
	bool lines;
	char sep;
	const char *pointers[jsonmaxget];
	int npointers;
};
extern const char jsonusage[];
// With patterns, as the builtin's arrays take them, -g may be given more
// than once, and a pointer may hold steps that stand for every member.
const char *jsonoptions(int argc, char *const argv[], jsonjob *job, bool patterns = false);


// The value that pointer names, as jsonparse prints it, or what of it
// says (a jsonjob's): each piece handed to out as it is made (false from
// out stops the run, as a write error). Returns null once the whole text
// has been read and found good, or what is wrong: j->msg, "no value at
// POINTER", "POINTER: a string, not an array or object", "write error".
// Where absent is not null, it is set where the text is good and the
// pointer names nothing; with nullempty, a null is handed out as nothing,
// as a field of the line mode.
typedef bool jsonout(void *arg, const char *s, size_t n);
const char *jsonget(json *j, const char *pointer, char what, jsonout *out, void *arg, bool *absent = nullptr,
		    bool nullempty = false);

// The line mode's result for one record, the text at s of n bytes and a
// NUL after them: each
// value that the job's pointers name, as the program prints one, with a
// TAB between two, and in each a backslash, a TAB, a newline and a CR
// written \\, \t, \n and \r, as a TSV reader takes them back, so that
// no value splits a line or a field. A pointer that names nothing, and a
// null, give an empty field, as jq's @tsv gives one, but with -M, where
// a pointer that names nothing fails the record. Returns null, or what
// is wrong. shapes is jsonscan's, kept from one record to the next.
const char *jsonfields(json *j, const jsonjob *job, jsonshapes *shapes, const char *s, size_t n, jsonout *out,
		       void *arg);
// The line mode of job, each record of standard input a text, through
// eachline with rd and say (as lines.h has them); its status. The program
// and the builtin run it alike.
int jsoneach(const jsonjob *job, ssize_t (*rd)(int, char *, size_t), void (*say)(const char *, const char *));

// Every value of the text, in input order, as offsets into one buffer,
// each NUL-terminated: its pointer; its value (a string's bytes, a
// number's text, true, false or null, or for a container the count of its
// members, in decimal); its type; its place among its container's members,
// from 0, and whether it is an object's member. Returns null, or what is
// wrong, which may be that the values are more than maxvalues or that
// their pointers and values (the buffer) pass maxbytes: the reader stops
// there, before it holds more. With patterns (as jsonunder takes them),
// only the values at or under them, and the containers on the way to
// them, are kept, and counted against the limits; the whole text is read
// and checked all the same.
struct jsonentry {
	size_t ptr, value;
	jsontype type;
	bool named;
	unsigned long index;
};
struct jsonflat {
	jsonbuf bytes;
	jsonentry *v;
	size_t n, cap;
};
const char *jsonall(json *j, jsonflat *out, unsigned long maxvalues, unsigned long long maxbytes,
		    const char *const *patterns = nullptr, int npatterns = 0);
void jsonflatfree(jsonflat *f);

#endif
