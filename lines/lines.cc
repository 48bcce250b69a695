// The loop of every program's line mode: records read through a window of
// 64 KiB, each handed whole to the program, each result written, and the
// records that fail told apart from the others by a message of their own
// and an empty record in their place.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "lines.h"

char *lineroom(lineout *o, size_t n)
{
	if (o->bad || o->n + n > resultmax) {
		o->bad = true;
		return nullptr;
	}
	if (o->n + n + 1 > o->cap) {
		size_t cap = o->cap == 0 ? 4096 : o->cap;
		while (cap < o->n + n + 1)
			cap *= 2;
		char *p = static_cast<char *>(realloc(o->p, cap));
		if (p == nullptr) {
			o->bad = true;
			return nullptr;
		}
		o->p = p;
		o->cap = cap;
	}
	return o->p + o->n;
}

void lineadd(lineout *o, const char *s, size_t n)
{
	char *at = lineroom(o, n);
	if (at == nullptr)
		return;
	memcpy(at, s, n);
	o->n += n;
	o->p[o->n] = '\0';
}

void lineprogram(const char *prog, const char *what)
{
	fprintf(stderr, "%s: %s\n", prog, what);
}

// One record done: its result, or an empty record and a message.
static bool finish(const char *prog, linesay *say, char sep, unsigned long long number, const char *why,
		   lineout *out)
{
	if (why == nullptr && out->bad)
		why = "a result over 1 MiB";
	if (why == nullptr && memchr(out->p != nullptr ? out->p : "", sep, out->n) != nullptr)
		why = sep == '\n' ? "the result holds a newline, which would split the record" :
				    "the result holds a NUL byte, which would split the record";
	if (why != nullptr) {
		char m[320];
		snprintf(m, sizeof m, "record %llu: %s", number, why);
		say(prog, m);
		out->n = 0;
	}
	if (out->n > 0 && fwrite(out->p, 1, out->n, stdout) != out->n)
		return false;
	return putchar(sep) != EOF && why == nullptr;
}

int eachline(const char *prog, char sep, lineworker *run, void *arg, linereader *rd, linesay *say)
{
	char m[160];
	// The record, with room to decode and escape it in place.
	char *rec = static_cast<char *>(malloc(2 * linemax + 1));
	static char window[65536];
	lineout out = {};
	size_t n = 0, start = 0, end = 0;
	unsigned long long number = 0;
	bool over = false, failed = false, more = rec != nullptr;
	if (rec == nullptr) {
		snprintf(m, sizeof m, "cannot allocate a record: %s", strerror(ENOMEM));
		say(prog, m);
		return 1;
	}
	while (more) {
		if (start == end) {
			ssize_t got = rd != nullptr ? rd(0, window, sizeof window) : read(0, window, sizeof window);
			if (got < 0 && errno == EINTR)
				continue;
			if (got < 0) {
				snprintf(m, sizeof m, "cannot read: %s", strerror(errno));
				say(prog, m);
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
		const char *at = static_cast<const char *>(memchr(window + start, sep, end - start));
		size_t take = (at != nullptr ? static_cast<size_t>(at - window) : end) - start;
		if (n + take > linemax)
			over = true;
		else
			memcpy(rec + n, window + start, take);
		n += over ? 0 : take;
		start += take + (at != nullptr ? 1 : 0);
		if (at == nullptr && more)
			continue;
		// A whole record.
		rec[n] = '\0';
		number++;
		out.n = 0;
		out.bad = false;
		// The tools take strings, which a NUL would end.
		const char *why = over ? "a record over 256 KiB" :
				  memchr(rec, '\0', n) != nullptr ? "a NUL byte in the record" : run(arg, rec, n, &out);
		if (!finish(prog, say, sep, number, why, &out)) {
			failed = true;
			if (ferror(stdout))
				break;
		}
		n = 0;
		over = false;
	}
	free(rec);
	free(out.p);
	if (fflush(stdout) != 0 || ferror(stdout)) {
		snprintf(m, sizeof m, "write error: %s", strerror(errno));
		say(prog, m);
		return 1;
	}
	return failed ? 1 : 0;
}
