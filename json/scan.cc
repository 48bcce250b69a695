// Reading a text in memory at speed, where it is plain: one loop over its
// bytes, with a stack of its own, that checks the text as the reader does
// and notes where the values that some pointers name lie. Whatever it
// does not follow (an escape of four hex digits, a name that is not plain
// ASCII, a number that the strict checks must weigh, an object of many
// names, deep nesting, anything wrong) it leaves to the reader, which
// says what is wrong where anything is.
#include <cstdint>

#include "text.h"
#include "words.h"
#include "json.h"

// Whether the escaped step of k bytes at p names the member name of n
// bytes: "~0" stands for '~' there, "~1" for '/'.
bool jsonstep(const char *p, size_t k, const char *name, size_t n)
{
	size_t i = 0, at = 0;
	for (; i < k && at < n; at++) {
		char c = p[i] == '~' && i + 1 < k ? (p[i + 1] == '0' ? '~' : '/') : p[i];
		if (c != name[at])
			return false;
		i += p[i] == '~' ? 2 : 1;
	}
	return i == k && at == n;
}

bool jsonnonchar(unsigned long c)
{
	return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

// What the loop holds at most: past these, the reader reads the text.
enum { scandepth = 64, scannames = 512, scanlong = 32 };

// An object's name: where it is, its length, and its first eight bytes in
// a word, folded where the text is strict, so that most names are told
// apart by one comparison.
struct scanname {
	const unsigned char *p;
	size_t n;
	uint64_t head;
};

struct scanlevel {
	bool object;
	unsigned long count;
	size_t names;		// where its names begin in the pool
	uint64_t ways;		// the pointers that its members may match
	uint64_t hits;		// the pointers that name it
};

static unsigned char folded(unsigned char c, bool fold)
{
	return fold && c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

static bool samename(const scanname *a, const scanname *b, bool fold)
{
	if (a->n != b->n || a->head != b->head)
		return false;
	for (size_t i = 8; i < a->n; i++)
		if (folded(a->p[i], fold) != folded(b->p[i], fold))
			return false;
	return true;
}

static size_t blanks(const unsigned char *p, size_t n, size_t i)
{
	while (i < n && p[i] <= ' ' && (p[i] == ' ' || p[i] == '\t' || p[i] == '\n' || p[i] == '\r'))
		i++;
	return i;
}

// The first eight bytes of a name of n plain bytes at p, or as many as
// it has, in a word as memory holds them, the rest zero: loaded whole
// where the text has eight bytes there (room). Where strict, folded: for
// ASCII, 0x20 added to each byte from 'A' to 'Z', whose sums with 0x3F
// and 0x25 tell it (each byte is below 0x80, and no sum carries).
static uint64_t headof(const unsigned char *p, size_t n, size_t room, bool fold)
{
	uint64_t w;
	if (room >= 8) {
		w = loadword(p);
	} else {
		unsigned char b[8] = {};
		for (size_t i = 0; i < n && i < 8; i++)
			b[i] = p[i];
		w = loadword(b);
	}
	if (n < 8) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
		w &= n == 0 ? 0 : ~0ULL << (64 - 8 * n);
#else
		w &= (1ULL << (8 * n)) - 1;
#endif
	}
	if (fold) {
		uint64_t upper = (w + byteones * 0x3F) & ~(w + byteones * 0x25) & (byteones * 0x80);
		w |= upper >> 2;
	}
	return w;
}

// The end of the string whose body begins at i, past its quote, or 0.
static size_t string(const unsigned char *p, size_t n, size_t i, bool strict)
{
	for (;;) {
		i += jsonplain(p + i, n - i);
		if (i >= n)
			return 0;
		unsigned char c = p[i];
		if (c == '"')
			return i + 1;
		if (c == '\\') {
			unsigned char e = i + 1 < n ? p[i + 1] : 0;
			if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' && e != 'r' && e != 't')
				return 0;
			i += 2;
			continue;
		}
		size_t len;
		long cp = c >= 0x80 ? utf8point(p + i, n - i, &len) : -1;
		if (cp < 0 || (strict && jsonnonchar(static_cast<unsigned long>(cp))))
			return 0;
		i += len;
	}
}

// How far each pointer has come: where its next step begins, its length
// with the '/' before it, and whether it has an escape.
struct scanstep {
	size_t at, len;
	bool escaped;
};

static void nextstep(const char *pointer, scanstep *s)
{
	const char *q = pointer + s->at;
	size_t e = 1;
	bool tilde = false;
	for (; q[e] != '\0' && q[e] != '/'; e++)
		tilde = tilde || q[e] == '~';
	s->len = e;
	s->escaped = tilde;
}

// Of the pointers in ways, those whose next step names the member of n
// bytes at name: in *hits those that end there, in the result those that
// go on, their next step found.
static uint64_t match(const char *const *pointers, scanstep *steps, uint64_t ways, const char *name, size_t n,
		      uint64_t *hits)
{
	uint64_t on = 0;
	*hits = 0;
	for (int k = 0; ways != 0; k++, ways >>= 1) {
		scanstep *s = &steps[k];
		if ((ways & 1) == 0 || (!s->escaped && s->len - 1 != n))
			continue;
		const char *q = pointers[k] + s->at;
		if (!(s->escaped ? jsonstep(q + 1, s->len - 1, name, n) : jsoncmp(q + 1, name, n) == 0))
			continue;
		if (q[s->len] == '\0') {
			*hits |= 1ULL << k;
		} else {
			on |= 1ULL << k;
			s->at += s->len;
			nextstep(pointers[k], s);
		}
	}
	return on;
}

// Where each value named by the pointers in hits begins, at i, or with
// end, where it ends.
static void mark(jsonspan *spans, uint64_t hits, size_t i, bool end)
{
	for (int k = 0; hits >> k != 0; k++)
		if ((hits >> k & 1) != 0)
			spans[k] = end ? jsonspan{spans[k].at, i - spans[k].at, true} : jsonspan{i, 0, false};
}

bool jsonscan(const char *text, size_t n, bool strict, const char *const *pointers, int np, jsonspan *spans)
{
	if (np > 64)
		return false;
	scanstep steps[64];
	for (int k = 0; k < np; k++) {
		if (pointers[k][0] == '\0')
			return false;	// the whole text, which the reader gives
		spans[k] = {0, 0, false};
		steps[k].at = 0;
		nextstep(pointers[k], &steps[k]);
	}
	const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
	scanlevel st[scandepth], *l = nullptr;
	scanname pool[scannames];
	int depth = 0;
	size_t used = 0, len = 0, i = blanks(p, n, 0);
	// The pointers that the value about to begin may hold, and those that
	// name it.
	uint64_t ways = np == 64 ? ~0ULL : (1ULL << np) - 1, hits = 0;
	const char *name;
	char place[24];
	unsigned char c;

value:	// A value begins at i.
	if (i >= n)
		return false;
	if (hits != 0)
		mark(spans, hits, i, false);
	c = p[i];
	if (c == '"') {
		i = string(p, n, i + 1, strict);
	} else if (c == '{' || c == '[') {
		if (depth == scandepth)
			return false;
		l = &st[depth++];
		*l = {c == '{', 0, used, ways, hits};
		i = blanks(p, n, i + 1);
		if (i < n && p[i] == c + 2) {	// '}' and ']' follow '{' and '[' by two
			i++;
			goto closed;
		}
		goto member;
	} else if (c == 't' || c == 'n') {
		i = i + 4 <= n && jsoncmp(text + i, c == 't' ? "true" : "null", 4) == 0 ? i + 4 : 0;
	} else if (c == 'f') {
		i = i + 5 <= n && jsoncmp(text + i, "false", 5) == 0 ? i + 5 : 0;
	} else if (c == '-' || (c >= '0' && c <= '9')) {
		len = jsonplainnum(p + i, n - i);
		i = len > 0 ? i + len : 0;
	} else {
		return false;
	}
	if (i == 0)
		return false;

after:	// The value has ended at i.
	if (hits != 0)
		mark(spans, hits, i, true);
	i = blanks(p, n, i);
	if (depth == 0)
		return i == n;
	if (i < n && p[i] == ',') {
		i = blanks(p, n, i + 1);
		goto member;
	}
	if (i >= n || p[i] != (l->object ? '}' : ']'))
		return false;
	i++;

closed:	// The container at the top has ended at i.
	hits = l->hits;
	used = l->names;
	depth--;
	l = depth > 0 ? &st[depth - 1] : nullptr;
	goto after;

member:	// A member begins at i: its name and ':', or its place.
	if (l->object) {
		if (i >= n || p[i] != '"')
			return false;
		len = jsonplain(p + i + 1, n - i - 1);
		if (i + 1 + len >= n || p[i + 1 + len] != '"' || used == scannames || used - l->names == scanlong)
			return false;
		scanname s = {p + i + 1, len, headof(p + i + 1, len, n - i - 1, strict)};
		for (size_t k = l->names; k < used; k++)
			if (samename(&pool[k], &s, strict))
				return false;
		pool[used++] = s;
		name = text + i + 1;
		i = blanks(p, n, i + len + 2);
		if (i >= n || p[i] != ':')
			return false;
		i = blanks(p, n, i + 1);
	} else {
		len = l->ways != 0 ? jsonnum(place, 0, sizeof place, l->count) : 0;
		name = place;
	}
	l->count++;
	ways = 0;
	hits = 0;
	if (l->ways != 0) {
		ways = match(pointers, steps, l->ways, name, len, &hits);
		l->ways &= ~(ways | hits);	// no other member can match them
	}
	goto value;
}
