// The loop of every program's line mode: records read through a window of
// 64 KiB, each handed whole to the program, the results written in pieces
// of 64 KiB, and the records that fail told apart from the others by a
// message of their own and an empty record in their place. It calls as few
// functions of the C library as it can, and those that the programs call
// already, as each costs a program a symbol to bind when it starts.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "lines.h"
#include "text.h"
#include "words.h"

static const size_t piece = 65536, room = piece + resultmax + 1;

static size_t length(const char *s)
{
	size_t n = 0;
	while (s[n] != '\0')
		n++;
	return n;
}

// The first of n bytes at s that is c, or null; *nul is set where a NUL
// byte stands before it (or in all n, where none is c). The last word may
// overlap the one before, whose bytes held neither.
static const char *find(const char *s, size_t n, char c, bool *nul)
{
	size_t i = 0;
#ifdef __SSE2__
	// Sixteen at a time where the machine has the registers for it, as
	// every x86-64 has: a bit a byte for c, and for NUL.
	if (n >= 16) {
		const __m128i cv = _mm_set1_epi8(c), zero = _mm_setzero_si128();
		// Thirty-two at a time while neither is there, as most of a
		// long record holds neither; the loop below tells which came
		// first.
		for (; i + 32 <= n; i += 32) {
			__m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
			__m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i + 16));
			__m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, cv), _mm_cmpeq_epi8(a, zero)),
						   _mm_or_si128(_mm_cmpeq_epi8(b, cv), _mm_cmpeq_epi8(b, zero)));
			if (_mm_movemask_epi8(hit) != 0)
				break;
		}
		for (;; i += 16) {
			if (i + 16 > n)
				i = n - 16;
			__m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
			unsigned atc = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cv)));
			unsigned at0 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
			if ((atc | at0) != 0) {
				*nul = *nul || (at0 != 0 && (atc == 0 || __builtin_ctz(at0) < __builtin_ctz(atc)));
				if (atc != 0)
					return s + i + __builtin_ctz(atc);
			}
			if (i + 16 == n)
				return nullptr;
		}
	}
#endif
	// Eight at a time elsewhere: where the first byte in memory is the
	// lowest, the mask's lowest bit tells which byte came first, c or a
	// NUL; otherwise the bytes of that word do.
	const uint64_t cs = byteones * static_cast<unsigned char>(c);
	for (; n >= 8; i += 8) {
		if (i + 8 > n)
			i = n - 8;
		uint64_t w = loadword(s + i), hit = zerobytes(w ^ cs) | zerobytes(w);
		if (hit != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
			if ((zerobytes(w) & (hit & (~hit + 1))) == 0)
				return s + i + lowestflag(hit);
#endif
			break;
		}
		if (i + 8 == n)
			return nullptr;
	}
	for (; i < n; i++) {
		if (s[i] == c)
			return s + i;
		*nul = *nul || s[i] == '\0';
	}
	return nullptr;
}

char *lineroom(lineout *o, size_t n)
{
	// The room is all there from the start, each result's and the
	// pieces' before it: pages never written cost nothing.
	if (o->bad || o->n - o->start + n > resultmax || o->n + n + 1 > o->cap) {
		o->bad = true;
		return nullptr;
	}
	return o->p + o->n;
}

void lineadd(lineout *o, const char *s, size_t n)
{
	char *at = lineroom(o, n);
	if (at == nullptr)
		return;
	copywords(at, s, n);
	o->n += n;
	o->p[o->n] = '\0';
}

bool lineswitch(char o, bool *lines, char *sep, const char **why)
{
	if (o != 'l' && o != 'z')
		return false;
	char want = o == 'l' ? '\n' : '\0';
	if (*lines && *sep != want)
		*why = "-l and -z: one or the other";
	*lines = true;
	*sep = want;
	return true;
}

void lineprogram(const char *prog, const char *what)
{
	saytext(prog, what);
}

linewriter *lineput;

// Results go out in pieces, whatever buffering standard output has: a
// shell's is line-buffered, and would take a write a record.
static bool flush(lineout *o)
{
	bool ok = o->n == 0 || (lineput != nullptr ? lineput(o->p, o->n) : writeall(1, o->p, o->n));
	o->n = o->start = 0;
	return ok;
}

// A program's messages, gathered and written a buffer at a time, each
// write at most PIPE_BUF bytes and ending on a message's end, so that a
// file of bad records costs a write for many of them, not one each, and
// two programs that share standard error, as under xargs -P, never cut
// into each other's lines. A builtin's go through the shell, one by one.
struct said {
	char buf[4096];
	size_t n;
	bool failed;
};

static void spill(said *s)
{
	s->failed = s->failed || !writeall(2, s->buf, s->n);
	s->n = 0;
}

static void gather(said *s, const char *prog, const char *what)
{
	char line[sizeof s->buf];
	size_t n = textmsg(line, sizeof line, prog, what);
	if (s->n + n > sizeof s->buf)
		spill(s);
	memcpy(s->buf + s->n, line, n);
	s->n += n;
}

// A message said: gathered for a program, through say for a builtin.
static void note(said *s, linesay *say, const char *prog, const char *m)
{
	if (s != nullptr)
		gather(s, prog, m);
	else
		say(prog, m);
}

// The refused records by reason: a reason is a message without where it
// happened ("byte offset 7 (/a): ") and without what it quotes (a name in
// quotes, a limit's advice after ';'), so that one kind of fault is one
// count. A few kinds are kept; the rest are counted together.
enum { kinds = 8, kindlen = 64 };
struct refusals {
	char reason[kinds][kindlen];
	unsigned long long count[kinds], others;
	int n;
};

static void count(refusals *t, const char *why)
{
	const char *p = why;
	if (startswith(p, "byte offset ")) {
		p += 12;
		while (*p >= '0' && *p <= '9')
			p++;
		const char *close = *p == ' ' && p[1] == '(' ? findstr(p, "): ") : nullptr;
		p = close != nullptr ? close + 3 : *p == ':' && p[1] == ' ' ? p + 2 : why;
	}
	char r[kindlen];
	size_t n = 0;
	for (; p[n] != '\0' && p[n] != '"' && p[n] != ';' && n + 1 < sizeof r; n++)
		r[n] = p[n];
	while (n > 0 && (r[n - 1] == ' ' || r[n - 1] == ','))	// what led to the quote
		n--;
	r[n] = '\0';
	for (int k = 0; k < t->n; k++)
		if (samestr(t->reason[k], r)) {
			t->count[k]++;
			return;
		}
	if (t->n == kinds) {
		t->others++;
		return;
	}
	memcpy(t->reason[t->n], r, n + 1);
	t->count[t->n++] = 1;
}

// "402 of 1200000 records refused: 310 duplicate name, ...", the most
// common first.
static void tell(const refusals *t, unsigned long long records, const char *prog, linesay *say, said *s)
{
	unsigned long long refused = t->others;
	int order[kinds];
	for (int k = 0; k < t->n; k++) {
		refused += t->count[k];
		int at = k;
		for (; at > 0 && t->count[order[at - 1]] < t->count[k]; at--)
			order[at] = order[at - 1];
		order[at] = k;
	}
	if (refused == 0)
		return;
	char m[kinds * (kindlen + 24) + 96] = "";
	textcatnum(m, sizeof m, refused);
	textcat(m, sizeof m, " of ");
	textcatnum(m, sizeof m, records);
	textcat(m, sizeof m, records == 1 ? " record refused: " : " records refused: ");
	for (int k = 0; k < t->n; k++) {
		textcatnum(m, sizeof m, t->count[order[k]]);
		textcat(m, sizeof m, " ");
		textcat(m, sizeof m, t->reason[order[k]]);
		textcat(m, sizeof m, k + 1 < t->n || t->others > 0 ? ", " : "");
	}
	if (t->others > 0) {
		textcatnum(m, sizeof m, t->others);
		textcat(m, sizeof m, " of other kinds");
	}
	note(s, say, prog, m);
}

// "record N: WHY" in m, size bytes. Where it is too long, what WHY quotes
// is cut, on a character's boundary, never its reason: the part after the
// last ": ", which says what is wrong ("URL: IPv6-unclosed").
static void reasoned(char *m, size_t size, unsigned long long number, const char *why)
{
	m[0] = '\0';
	textcat(m, size, "record ");
	textcatnum(m, size, number);
	textcat(m, size, ": ");
	size_t at = length(m), n = length(why);
	if (at + n < size) {
		textcat(m, size, why);
		return;
	}
	const char *reason = why;
	for (const char *p = why; (p = findstr(p, ": ")) != nullptr; p += 2)
		reason = p + 2;
	size_t keep = length(reason);
	if (reason == why || keep + 8 >= size - at)
		keep = 0;	// no reason apart, or too long: cut it all
	// The quoted part up to a character's start, "...", then the reason.
	size_t head = size - at - keep - 6;
	while (head > 0 && (static_cast<unsigned char>(why[head]) & 0xC0) == 0x80)
		head--;
	memcpy(m + at, why, head);
	memcpy(m + at + head, "...", 3);
	at += head + 3;
	if (keep > 0) {
		memcpy(m + at, ": ", 2);
		memcpy(m + at + 2, reason, keep);
		at += 2 + keep;
	}
	m[at] = '\0';
}

// One record done: its result, or nothing and a message, then sep, and
// where t is not null, its reason counted. False where it failed.
static bool finish(const char *prog, linesay *say, said *s, char sep, unsigned long long number, const char *why,
		   lineout *out, refusals *t)
{
	if (why == nullptr && out->bad)
		why = "a result over 1 MiB";
	bool nul = false;
	if (why == nullptr && find(out->p + out->start, out->n - out->start, sep, &nul) != nullptr)
		why = sep == '\n' ? "the result holds a newline, which would split the record" :
				    "the result holds a NUL byte, which would split the record";
	if (why != nullptr) {
		char m[1024];
		reasoned(m, sizeof m, number, why);
		note(s, say, prog, m);
		out->n = out->start;
		if (t != nullptr)
			count(t, why);
	}
	out->bad = false;
	out->p[out->n++] = sep;
	out->start = out->n;
	return why == nullptr;
}

static void sayerror(linesay *say, said *s, const char *prog, const char *what)
{
	char m[160] = "";
	textcat(m, sizeof m, what);
	textcat(m, sizeof m, strerror(errno));
	note(s, say, prog, m);
}

int eachline(const char *prog, char sep, lineworker *run, void *arg, linereader *rd, linesay *say, bool tally)
{
	refusals reasons = {};
	said messages;
	messages.n = 0, messages.failed = false;
	said *s = say == lineprogram ? &messages : nullptr;
	// The record, with room to decode and escape it in place; the
	// results, with room for the largest after the pieces before it.
	char *rec = static_cast<char *>(malloc(2 * linemax + 1));
	lineout out = {static_cast<char *>(malloc(room + 1)), 0, room, 0, false};
	static char window[piece];
	size_t n = 0, start = 0, end = 0;
	unsigned long long number = 0;
	bool over = false, nul = false, failed = false, more = true;
	if (rec == nullptr || out.p == nullptr) {
		errno = ENOMEM;
		sayerror(say, nullptr, prog, "cannot allocate a record: ");
		free(rec);
		free(out.p);
		return 1;
	}
	while (more) {
		if (start == end) {
			ssize_t got = rd != nullptr ? rd(0, window, sizeof window) : read(0, window, sizeof window);
			if (got < 0 && errno == EINTR)
				continue;
			if (got < 0) {
				sayerror(say, s, prog, "cannot read: ");
				failed = true;
			}
			start = 0;
			end = got > 0 ? static_cast<size_t>(got) : 0;
			more = got > 0;
			// A last record without its separator counts, an empty
			// input none.
			if (!more && n == 0 && !over)
				break;
		}
		const char *at = find(window + start, end - start, sep, &nul);
		size_t take = (at != nullptr ? static_cast<size_t>(at - window) : end) - start;
		over = over || n + take > linemax;
		if (!over)
			copywords(rec + n, window + start, take);
		n += over ? 0 : take;
		start += take + (at != nullptr ? 1 : 0);
		if (at == nullptr && more)
			continue;
		// A whole record. The tools take strings, which a NUL would end.
		rec[n] = '\0';
		const char *why = over ? "a record over 256 KiB" :
				  nul ? "a NUL byte in the record" : run(arg, rec, n, &out);
		failed = !finish(prog, say, s, sep, ++number, why, &out, tally ? &reasons : nullptr) || failed;
		if (out.n >= piece && !flush(&out))
			break;
		n = 0;
		over = nul = false;
	}
	free(rec);
	if (tally)
		tell(&reasons, number, prog, say, s);
	bool written = flush(&out) && (lineput == nullptr || lineput(nullptr, 0));
	free(out.p);
	if (!written)
		sayerror(say, s, prog, "write error: ");
	if (s != nullptr)
		spill(s);
	return failed || !written ? 1 : 0;
}
