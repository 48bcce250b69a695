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

// An object's name: its first eight bytes in a word, folded where the
// text is strict, so that most names are told apart by one comparison;
// and where it is, and its length, for those that are not.
struct scanname {
	uint64_t head;
	const unsigned char *p;
	size_t n;
};

struct scanlevel {
	bool object;
	unsigned long count;
	size_t names;		// where its names begin in the pool
	size_t full;		// where they would pass what it may hold
	uint64_t seen;		// a bit for each name's head, as a filter
	uint64_t ways;		// the pointers that its members may match
	uint64_t hits;		// the pointers that name it
};

static unsigned char folded(unsigned char c, bool fold)
{
	return fold && c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// Whether two names of n bytes whose first eight are the same are the
// same past them.
static bool samerest(const unsigned char *a, const unsigned char *b, size_t n, bool fold)
{
	for (size_t i = 8; i < n; i++)
		if (folded(a[i], fold) != folded(b[i], fold))
			return false;
	return true;
}

// The text ends in a NUL, which is no blank and ends any run.
static inline const unsigned char *blanks(const unsigned char *q)
{
	while (*q <= ' ' && (*q == ' ' || *q == '\t' || *q == '\n' || *q == '\r'))
		q++;
	return q;
}

// Whether the byte at *q, past any blanks, is c, with *q then at it.
// Most texts that a machine writes have no blanks, so c is looked for
// first.
static inline bool next(const unsigned char **q, unsigned char c)
{
	if (**q != c)
		*q = blanks(*q);
	return **q == c;
}

// One bit of 64 for a name's head: names whose bits differ differ, so an
// object's names are compared one by one only where its bit was seen.
static inline uint64_t headbit(uint64_t key)
{
	return 1ULL << ((key * 0x9E3779B97F4A7C15ULL) >> 58);
}

// The first eight bytes of a name of n plain bytes at p, or as many as
// it has, in a word as memory holds them, the rest zero: loaded whole
// where the text has eight bytes there (room).
static inline uint64_t headof(const unsigned char *p, size_t n, size_t room)
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
	return w;
}

// For ASCII, 0x20 added to each byte from 'A' to 'Z', whose sums with
// 0x3F and 0x25 tell it (each byte is below 0x80, and no sum carries).
static inline uint64_t foldhead(uint64_t w)
{
	uint64_t upper = (w + byteones * 0x3F) & ~(w + byteones * 0x25) & (byteones * 0x80);
	return w | upper >> 2;
}

// The end of the string whose body begins at q, past its quote, or null.
static inline const unsigned char *string(const unsigned char *q, const unsigned char *end, bool strict)
{
	for (;;) {
		q += jsonplain(q, static_cast<size_t>(end - q));
		unsigned char c = *q;
		if (c == '"')
			return q + 1;
		if (c == '\\') {
			unsigned char e = q[1];
			if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' && e != 'r' && e != 't')
				return nullptr;
			q += 2;
			continue;
		}
		size_t len;
		long cp = c >= 0x80 ? utf8point(q, static_cast<size_t>(end - q), &len) : -1;
		if (cp < 0 || (strict && jsonnonchar(static_cast<unsigned long>(cp))))
			return nullptr;
		q += len;
	}
}

// The end of the scalar that begins at q, a string, number, true, false
// or null, or null where there is none that the loop follows.
static inline const unsigned char *scalar(const unsigned char *q, const unsigned char *end, bool strict)
{
	size_t len;
	if (*q == '"')
		return string(q + 1, end, strict);
	switch (*q) {
	case 't':
	case 'n':
		if (end - q < 4 || jsoncmp(reinterpret_cast<const char *>(q), *q == 't' ? "true" : "null", 4) != 0)
			return nullptr;
		return q + 4;
	case 'f':
		if (end - q < 5 || jsoncmp(reinterpret_cast<const char *>(q), "false", 5) != 0)
			return nullptr;
		return q + 5;
	default:	// a number, or nothing
		len = jsonplainnum(q, static_cast<size_t>(end - q));
		return len == 0 ? nullptr : q + len;
	}
}

// How far each pointer has come: where its next step begins, its length
// with the '/' before it, whether it has an escape, and where it has
// none, its first eight bytes in a word, as a name's head.
struct scanstep {
	size_t at, len;
	bool escaped;
	uint64_t head;
};

static void nextstep(const char *pointer, scanstep *s)
{
	const unsigned char *q = reinterpret_cast<const unsigned char *>(pointer + s->at);
	unsigned char b[8] = {};
	size_t e = 1;
	bool tilde = false;
	for (; q[e] != '\0' && q[e] != '/'; e++) {
		tilde = tilde || q[e] == '~';
		if (e <= 8)
			b[e - 1] = q[e];
	}
	s->len = e;
	s->escaped = tilde;
	s->head = loadword(b);
}

// Of the pointers in ways, those whose next step names the member of n
// bytes at name, whose head is head: in *hits those that end there, in
// the result those that go on, their next step found.
static uint64_t match(const char *const *pointers, scanstep *steps, uint64_t ways, const char *name, size_t n,
		      uint64_t head, uint64_t *hits)
{
	uint64_t on = 0;
	*hits = 0;
	// Bit by bit, as a 32-bit machine has no instruction to find the
	// lowest of 64, and a call for it would bind the compiler's library.
	for (int k = 0; ways != 0; k++, ways >>= 1) {
		if ((ways & 1) == 0)
			continue;
		scanstep *s = &steps[k];
		const char *q = pointers[k] + s->at;
		if (s->escaped ? !jsonstep(q + 1, s->len - 1, name, n) :
				 s->len - 1 != n || s->head != head || (n > 8 && !samebytes(q + 9, name + 8, n - 8)))
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

// Where a place in the runs of a text is, at x: in the run that ends at a
// scalar that begins at x, or holds x, as no scalar is empty. The ns
// scalars begin and end at slot, in turn.
static jsonrunat placeof(const uint16_t *slot, int ns, size_t x)
{
	size_t from = 0;
	for (int i = 0; i < ns; from = slot[2 * i + 1], i++)
		if (x <= slot[2 * i])
			return {static_cast<uint32_t>(i), static_cast<uint32_t>(x - from)};
	return {static_cast<uint32_t>(ns), static_cast<uint32_t>(x - from)};
}

// The text of n bytes at p, found good, as the shape to check the next
// against.
static void remember(jsonshape *s, const unsigned char *p, size_t n, bool strict, const uint16_t *slot, int ns,
		     int np, const jsonspan *spans)
{
	copywords(reinterpret_cast<char *>(s->text), reinterpret_cast<const char *>(p), n);
	uint32_t from = 0;
	for (int i = 0; i <= ns; from = slot[2 * i + 1], i++) {
		s->run[2 * i] = from;
		s->run[2 * i + 1] = (i < ns ? slot[2 * i] : static_cast<uint32_t>(n)) - from;
	}
	s->n = n;
	s->strict = strict;
	s->slots = ns;
	for (int k = 0; k < np; k++) {
		s->found[k] = spans[k].found;
		if (spans[k].found) {
			s->from[k] = placeof(slot, ns, spans[k].at);
			s->to[k] = placeof(slot, ns, spans[k].at + spans[k].len);
		}
	}
}

// Whether the text of n bytes at p has shape s: the same runs of bytes,
// with a scalar between each two, of any kind. Its names, nesting and
// counts are then those of the text that s was, found good, and the value
// that each pointer names lies in the same place but for the lengths of
// the scalars before it.
//
// Kept out of the reading's loop, which the compiler would otherwise make
// one function of, with the registers of the two shared.
__attribute__((noinline)) static bool shaped(const jsonshape *s, const unsigned char *p, size_t n, bool strict,
					     int np, jsonspan *spans)
{
	uint32_t runs[jsonshapeslots + 1];	// where each run begins in the text
	const unsigned char *q = p, *end = p + n;
	if (s->n == 0 || s->strict != strict)
		return false;
	for (int i = 0;; i++) {
		size_t len = s->run[2 * i + 1];
		if (static_cast<size_t>(end - q) < len || !samebytes(q, s->text + s->run[2 * i], len))
			return false;
		runs[i] = static_cast<uint32_t>(q - p);
		q += len;
		if (i == s->slots)
			break;
		q = scalar(q, end, strict);
		if (q == nullptr)
			return false;
	}
	if (q != end)
		return false;
	for (int k = 0; k < np; k++) {
		if (!s->found[k]) {
			spans[k] = {0, 0, false};
			continue;
		}
		size_t a = runs[s->from[k].run] + s->from[k].off, b = runs[s->to[k].run] + s->to[k].off;
		spans[k] = {a, b - a, true};
	}
	return true;
}

// Whether the text has one of the shapes: the one found or made last is
// tried first. Where neither is tried, as too many texts in a row had
// neither, false, with *keep set where the text, if good, is to be one:
// where the shapes are tried, and for the last text before they are.
static bool shapedany(jsonshapes *sh, const unsigned char *p, size_t n, bool strict, int np, jsonspan *spans,
		      bool *keep)
{
	if (sh->wait > 0) {
		*keep = --sh->wait == 0;
		return false;
	}
	*keep = true;
	for (int k = 0; k < 2; k++) {
		int i = k == 0 ? sh->last : 1 - sh->last;
		if (shaped(&sh->two[i], p, n, strict, np, spans)) {
			sh->last = i;
			sh->misses = 0;
			return true;
		}
	}
	// A second miss in a row waits a text, a third two, and so on to 64.
	sh->misses++;
	sh->wait = sh->misses < 2 ? 0 : sh->misses > 7 ? 64 : 1U << (sh->misses - 2);
	return false;
}

bool jsonscan(const char *text, size_t n, bool strict, const char *const *pointers, int np, jsonshapes *shapes,
	      jsonspan *spans)
{
	if (np > 64)
		return false;
	for (int k = 0; k < np; k++)
		if (pointers[k][0] == '\0')
			return false;	// the whole text, which the reader gives
	const unsigned char *p = reinterpret_cast<const unsigned char *>(text), *end = p + n, *q = blanks(p), *name, *v;
	bool keep = false;
	if (shapes != nullptr && shapedany(shapes, p, n, strict, np, spans, &keep))
		return true;
	scanstep steps[64];
	for (int k = 0; k < np; k++) {
		spans[k] = {0, 0, false};
		steps[k].at = 0;
		nextstep(pointers[k], &steps[k]);
	}
	// Where each scalar begins and ends, for the shape, where the text is
	// to be one and is short enough: a scalar takes at least a byte and
	// all but the last a byte after it, so there is room for every one.
	// Otherwise all go to the first.
	uint16_t slot[jsonshapebytes + 2], *sp = slot;
	const int step = keep && n <= jsonshapebytes ? 2 : 0;
	scanlevel st[scandepth], *l = nullptr;
	scanname pool[scannames];
	int depth = 0;
	size_t used = 0, len = 0;
	// The pointers that the value about to begin may hold, and those that
	// name it.
	uint64_t ways = np == 64 ? ~0ULL : (1ULL << np) - 1, hits = 0, head;
	char place[24];

value:	// A value begins at q: most often a string.
	if (hits != 0)
		mark(spans, hits, static_cast<size_t>(q - p), false);
	v = q;
	if (*q == '"') {
		q = string(q + 1, end, strict);
		if (q == nullptr)
			return false;
		goto noted;
	}
	if (*q == '{' || *q == '[') {
		if (depth == scandepth)
			return false;
		l = &st[depth++];
		*l = {*q == '{', 0, used, used + scanlong < scannames ? used + scanlong : size_t{scannames}, 0, ways, hits};
		q = blanks(q + 1);
		if (*q == (l->object ? '}' : ']')) {
			q++;
			goto closed;
		}
		goto member;
	}
	q = scalar(q, end, strict);
	if (q == nullptr)
		return false;

noted:	// A scalar has ended at q: where it lies is noted.
	sp[0] = static_cast<uint16_t>(v - p);
	sp[1] = static_cast<uint16_t>(q - p);
	sp += step;

after:	// The value has ended at q.
	if (hits != 0)
		mark(spans, hits, static_cast<size_t>(q - p), true);
	if (depth == 0) {
		if (blanks(q) != end)
			return false;
		if (step != 0 && sp - slot < 2 * jsonshapeslots) {
			shapes->last = 1 - shapes->last;	// the older goes
			remember(&shapes->two[shapes->last], p, n, strict, slot, static_cast<int>((sp - slot) / 2), np,
				 spans);
		}
		return true;
	}
	if (next(&q, ',')) {
		q = blanks(q + 1);
		goto member;
	}
	if (*q != (l->object ? '}' : ']'))
		return false;
	q++;

closed:	// The container at the top has ended at q.
	hits = l->hits;
	used = l->names;
	depth--;
	l = depth > 0 ? &st[depth - 1] : nullptr;
	goto after;

member:	// A member begins at q: its name and ':', or its place.
	if (l->object) {
		if (*q != '"')
			return false;
		name = q + 1;
		len = jsonplain(name, static_cast<size_t>(end - name));
		q = name + len;
		if (*q != '"' || used == l->full)
			return false;
		head = headof(name, len, static_cast<size_t>(end - name));
		uint64_t key = strict ? foldhead(head) : head, bit = headbit(key);
		if ((l->seen & bit) != 0)
			for (size_t k = l->names; k < used; k++)
				if (pool[k].head == key && pool[k].n == len &&
				    (len <= 8 || samerest(pool[k].p, name, len, strict)))
					return false;
		l->seen |= bit;
		pool[used++] = {key, name, len};
		q++;
		if (!next(&q, ':'))
			return false;
		q = blanks(q + 1);
	} else {
		name = reinterpret_cast<const unsigned char *>(place);
		len = l->ways != 0 ? jsonnum(place, 0, sizeof place, l->count) : 0;
		head = l->ways != 0 ? headof(name, len, sizeof place) : 0;
	}
	l->count++;
	ways = 0;
	hits = 0;
	if (l->ways != 0) {
		ways = match(pointers, steps, l->ways, reinterpret_cast<const char *>(name), len, head, &hits);
		l->ways &= ~(ways | hits);	// no other member can match them
	}
	goto value;
}
