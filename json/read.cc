// Reading a JSON text: a state machine over its bytes, with the open
// containers on a stack of its own, so that no text can exhaust the call
// stack, and each value named by its pointer as it begins.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/random.h>
#include <unistd.h>

#include "text.h"
#include "words.h"
#include "json.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

const char *const jsontypes[] = {"null", "boolean", "number", "string", "array", "object"};

// An open container: where its pointer ends, its members so far and, for
// an object, the names it has had: the first sixteen in a list, compared one
// by one, as most objects have no more, and past them in a hash set. A
// slot keeps its name's hash, so that no name is hashed twice, and is
// twelve bytes, as an object may have tens of thousands of names: where
// the name is, in names or, where intext is set in len, in the text in
// memory; and its length plus one, so that an empty name has a slot too.
struct slot {
	uint32_t hash, off, len;
};
enum : uint32_t { intext = 0x80000000u };
enum { fewnames = 16 };
struct jsonlevel {
	bool object;
	unsigned long count;
	size_t plen;
	jsonbuf names;
	const char *text;	// the text in memory, where names may be
	slot last;		// the last name given
	// Which of the pointers asked for (jsonwant's) it is on the way to, a
	// bit each, and whether it is at or under one, as all it holds is.
	uint64_t ways;
	bool all;
	uint16_t stepat[jsonstepsheld];	// where the next step of the first few begins
	slot few[fewnames];
	slot *slots;
	size_t nslots, used;
};

static const char *slotname(const jsonlevel *l, const slot *t)
{
	return (t->len & intext) != 0 ? l->text + t->off : l->names.p + t->off;
}

static size_t slotlen(const slot *t)
{
	return (t->len & ~intext) - 1;
}

enum { s_start, s_first, s_name, s_colon, s_after, s_top, s_string, s_number, s_done, s_failed };
enum { window = 65536 };

char *jsongrow(jsonbuf *b, size_t n)
{
	if (b->bad)
		return nullptr;
	if (b->n + n + 1 > b->cap) {
		size_t cap = b->cap == 0 ? 64 : b->cap;
		while (cap < b->n + n + 1)
			cap *= 2;
		char *p = static_cast<char *>(realloc(b->p, cap));
		if (p == nullptr) {
			b->bad = true;
			return nullptr;
		}
		b->p = p;
		b->cap = cap;
	}
	return b->p + b->n;
}

// Sixteen bytes a move where the machine has the registers, eight
// elsewhere, the last ones overlapping those before: the C library copies
// a long run with one string move, which instruction counts see repeated
// a byte at a time, and a value's long runs are the most of what is
// copied here.
void jsoncopy(char *to, const char *from, size_t n)
{
#ifdef __SSE2__
	if (n >= 16) {
		for (size_t i = 0; i + 16 < n; i += 16)
			_mm_storeu_si128(reinterpret_cast<__m128i *>(to + i),
					 _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i)));
		_mm_storeu_si128(reinterpret_cast<__m128i *>(to + n - 16),
				 _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + n - 16)));
		return;
	}
#endif
	copywords(to, from, n);
}

void jsonfree(jsonbuf *b)
{
	free(b->p);
	*b = {};
}

// A reader begins anew, keeping the memory that it had for the last text
// (none, where it is new and zeroed, or after jsonend).
static void begin(json *j, bool strict)
{
	char *own = j->own;
	jsonlevel *levels = j->levels;
	int nlevels = j->nlevels;
	jsonbuf name = j->name, ptr = j->ptr, fold = j->fold;
	memset(static_cast<void *>(j), 0, offsetof(json, digits));
	j->own = own;
	j->levels = levels;
	j->nlevels = nlevels;
	j->name = {name.p, 0, name.cap, false};
	j->ptr = {ptr.p, 0, ptr.cap, false};
	j->fold = {fold.p, 0, fold.cap, false};
	j->msg[0] = '\0';
	j->strict = strict;
	j->state = s_start;
	j->fd = -1;
}

void jsonmem(json *j, const char *s, size_t n, bool strict)
{
	begin(j, strict);
	j->buf = s;
	j->end = n;
	j->eof = true;
}

void jsonstream(json *j, int fd, jsonreadfn *rd, unsigned long long limit, bool strict)
{
	begin(j, strict);
	j->fd = fd;
	j->rd = rd;
	j->left = limit;
	if (j->own == nullptr)
		j->own = static_cast<char *>(malloc(window));
	j->buf = j->own;
	if (j->own == nullptr)
		j->eof = true;
}

void jsonend(json *j)
{
	for (int i = 0; i < j->nlevels; i++) {
		jsonfree(&j->levels[i].names);
		free(j->levels[i].slots);
	}
	free(j->levels);
	free(j->own);
	jsonfree(&j->name);
	jsonfree(&j->ptr);
	jsonfree(&j->fold);
	j->levels = nullptr;
	j->own = nullptr;
	j->nlevels = 0;
}

// An object's set of names, once it closes, is kept for the next object
// at its depth only where it is small, as each is emptied when the next
// opens: a large one would be emptied again for every small object after
// it.
static void giveback(jsonlevel *l)
{
	if (l->nslots > 64 || l->names.cap > 4096) {
		jsonfree(&l->names);
		free(l->slots);
		l->slots = nullptr;
		l->nslots = 0;
	}
}

void jsonagain(json *j)
{
	for (int i = 0; i < j->nlevels; i++)
		giveback(&j->levels[i]);
	if (j->name.cap > 65536)
		jsonfree(&j->name);
	if (j->ptr.cap > 65536)
		jsonfree(&j->ptr);
	if (j->fold.cap > 65536)
		jsonfree(&j->fold);
}

int jsoncmp(const char *a, const char *b, size_t n)
{
	for (size_t i = 0; i < n; i++)
		if (a[i] != b[i])
			return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
	return 0;
}

size_t jsoncat(char *m, size_t at, size_t size, const char *s, size_t n)
{
	for (size_t i = 0; i < n && at + 1 < size; i++)
		m[at++] = s[i];
	if (at < size)
		m[at] = '\0';
	return at;
}

size_t jsonnum(char *m, size_t at, size_t size, unsigned long long v)
{
	char d[24];
	return jsoncat(m, at, size, d, unsignedout(d, v));
}

static size_t catz(char *m, size_t at, size_t size, const char *z)
{
	return jsoncat(m, at, size, z, strlen(z));
}

// A byte as 0xXX, or after a backslash as \xXX.
static size_t cathex(char *m, size_t at, size_t size, const char *before, unsigned char c)
{
	char x[2] = {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
	return jsoncat(m, catz(m, at, size, before), size, x, 2);
}

// What was given, on one line: control bytes as \xXX, and no more than
// about a hundred bytes of it.
static void shown(char *out, size_t size, const char *s, size_t n)
{
	// Cut on a character's boundary, past about a hundred bytes.
	size_t cut = 0, cost = 0, len;
	while (cut < n && cost <= 100) {
		unsigned char c = static_cast<unsigned char>(s[cut]);
		bool text = c >= 0x20 && c != 0x7F && utf8point(reinterpret_cast<const unsigned char *>(s + cut), n - cut, &len) >= 0;
		cost += text ? len : 4;		// a byte that is not, as \xXX
		cut += text ? len : 1;
	}
	size_t k = textline(out, size > 4 ? size - 3 : size, s, cut, false);
	if (cut < n)
		catz(out, k, size, "...");
}

static unsigned long long at(const json *j)
{
	return j->off + j->start;
}

// The pointers of a value being passed over, made only now that a refusal
// names one: each open container's from the one above it and its member at
// hand, the last name given or the last place.
static void steps(json *j)
{
	// From the container passed over, which was announced, or from the
	// one that holds it, where it was not.
	int from = j->quiet - (j->hidden ? 2 : 1);
	j->ptr.n = j->levels[from].plen;
	for (int d = from; d < j->depth; d++) {
		jsonlevel *l = &j->levels[d];
		l->plen = j->ptr.n;
		if (l->count == 0)
			break;
		jsonadd(&j->ptr, "/", 1);
		if (l->object) {
			jsonescname(&j->ptr, slotname(l, &l->last), slotlen(&l->last));
		} else {
			char i[24];
			jsonadd(&j->ptr, i, jsonnum(i, 0, sizeof i, l->count - 1));
		}
	}
	j->quiet = 0;
}

// Refused, at byte offset where, within the value at hand or, with
// inside, within the container that holds it.
static jsonevent failat(json *j, unsigned long long where, bool inside, const char *what)
{
	if (j->quiet > 0)
		steps(j);
	size_t plen = j->ptr.n;
	if (inside && j->depth > 0)
		plen = j->levels[j->depth - 1].plen;
	char p[120];
	shown(p, sizeof p, j->ptr.p != nullptr ? j->ptr.p : "", plen);
	size_t k = jsonnum(j->msg, catz(j->msg, 0, sizeof j->msg, "byte offset "), sizeof j->msg, where);
	if (plen > 0)
		k = catz(j->msg, catz(j->msg, catz(j->msg, k, sizeof j->msg, " ("), sizeof j->msg, p), sizeof j->msg, ")");
	catz(j->msg, catz(j->msg, k, sizeof j->msg, ": "), sizeof j->msg, what);
	j->state = s_failed;
	return jsonfailed;
}

static jsonevent fail(json *j, bool inside, const char *what)
{
	return failat(j, at(j), inside, what);
}

// At least need bytes in the window, where the text has them: a stream's
// window is moved to its start and read into.
static void fill(json *j, size_t need)
{
	if (j->end - j->start >= need || j->eof)
		return;
	if (j->start > 0) {
		movedown(j->own, j->own + j->start, j->end - j->start);
		j->off += j->start;
		j->end -= j->start;
		j->start = 0;
	}
	while (j->end < need && !j->eof) {
		size_t room = window - j->end;
		if (room > j->left)
			room = static_cast<size_t>(j->left);
		if (room == 0) {
			j->eof = true;
			break;
		}
		ssize_t n = j->rd != nullptr ? j->rd(j->fd, j->own + j->end, room) : read(j->fd, j->own + j->end, room);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0) {
			if (n < 0)
				catz(j->msg, catz(j->msg, 0, sizeof j->msg, "cannot read: "), sizeof j->msg, strerror(errno));
			else if (j->left != ~0ULL)
				catz(j->msg, 0, sizeof j->msg, "the text is shorter than its length");
			j->eof = true;
			break;
		}
		j->end += static_cast<size_t>(n);
		if (j->left != ~0ULL)
			j->left -= static_cast<unsigned long long>(n);
	}
}

static int peek(json *j)
{
	fill(j, 1);
	return j->start < j->end ? static_cast<unsigned char>(j->buf[j->start]) : -1;
}

// A stream that could not be read, or ended short, fails as such.
static jsonevent ended(json *j, bool inside, const char *what)
{
	if (j->msg[0] != '\0') {
		j->state = s_failed;
		return jsonfailed;
	}
	return fail(j, inside, what);
}

// The next byte that is not a blank, or -1 at the end: inline where the
// next byte is already one, as it mostly is.
static int moreblanks(json *j);
static inline int skipblanks(json *j)
{
	if (j->start < j->end) {
		unsigned char c = static_cast<unsigned char>(j->buf[j->start]);
		if (c > ' ')
			return c;
	}
	return moreblanks(j);
}

static int moreblanks(json *j)
{
	for (;;) {
		while (j->start < j->end) {
			char c = j->buf[j->start];
			if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
				return static_cast<unsigned char>(c);
			j->start++;
		}
		fill(j, 1);
		if (j->start == j->end)
			return -1;
	}
}

// The pointer of a member: the container's, then "/" and the name, '~'
// and '/' escaped as "~0" and "~1", or the index. Returns whether nothing
// asks for the member, which then has no pointer made; nor has a member
// of a container passed over, whose pointer is made only where a refusal
// names it.
static bool asked(json *j, const char *name, size_t n);
static bool member(json *j, const char *name, size_t n)
{
	if (j->quiet > 0)
		return false;
	if (j->nwant > 0 && !asked(j, name, n))
		return true;
	jsonlevel *l = &j->levels[j->depth - 1];
	j->ptr.n = l->plen;
	jsonadd(&j->ptr, "/", 1);
	if (name == nullptr) {
		char i[24];
		jsonadd(&j->ptr, i, jsonnum(i, 0, sizeof i, l->count));
	} else {
		jsonescname(&j->ptr, name, n);
		if (name != j->name.p) {	// as jsonnext tells of a member
			j->name.n = 0;
			jsonadd(&j->name, name, n);
		}
	}
	return false;
}

// SipHash-1-3 under a key drawn once a process from getrandom(2): the
// names of an object are the sender's to choose, and with a hash that
// they can compute, names chosen to share a slot's bits make every
// insertion walk all of them. Where getrandom fails, as on a kernel
// before 3.17, the key comes from where the stack and the code were laid
// out, which differs from run to run; nothing else is called, as each
// function of the C library costs a program a symbol to bind at start.
static uint64_t rotl(uint64_t x, int b)
{
	return (x << b) | (x >> (64 - b));
}

static void sipround(uint64_t v[4])
{
	v[0] += v[1];
	v[1] = rotl(v[1], 13) ^ v[0];
	v[0] = rotl(v[0], 32);
	v[2] += v[3];
	v[3] = rotl(v[3], 16) ^ v[2];
	v[0] += v[3];
	v[3] = rotl(v[3], 21) ^ v[0];
	v[2] += v[1];
	v[1] = rotl(v[1], 17) ^ v[2];
	v[2] = rotl(v[2], 32);
}

static const uint64_t *hashkey()
{
	static uint64_t key[2];
	static bool drawn;
	if (!drawn) {
		drawn = true;
		if (getrandom(key, sizeof key, 0) != static_cast<ssize_t>(sizeof key)) {
			int here;
			key[0] = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&here)) * 0x9E3779B97F4A7C15ULL;
			key[1] = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&hashkey)) * 0xC2B2AE3D27D4EB4FULL;
		}
	}
	return key;
}

uint64_t jsonhash(const char *s, size_t n, uint64_t seed)
{
	const uint64_t *k = hashkey();
	uint64_t k0 = k[0] ^ seed, k1 = k[1];
	uint64_t v[4] = {k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
			 k1 ^ 0x7465646279746573ULL};
	const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
	uint64_t last = static_cast<uint64_t>(n) << 56;
	for (size_t i = 0;; i += 8) {
		// Little-endian words, so that every host gives the same hash.
		uint64_t m = 0;
		size_t have = n - i < 8 ? n - i : 8;
		for (size_t b = 0; b < have; b++)
			m |= static_cast<uint64_t>(p[i + b]) << (8 * b);
		if (have < 8)
			m |= last;
		v[3] ^= m;
		sipround(v);
		v[0] ^= m;
		if (have < 8)
			break;
	}
	v[2] ^= 0xff;
	sipround(v);
	sipround(v);
	sipround(v);
	return v[0] ^ v[1] ^ v[2] ^ v[3];
}

static size_t pututf8(char *out, unsigned long c)
{
	if (c < 0x80) {
		out[0] = static_cast<char>(c);
		return 1;
	}
	size_t n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
	static const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
	for (size_t i = n - 1; i > 0; i--, c >>= 6)
		out[i] = static_cast<char>(0x80 | (c & 0x3F));
	out[0] = static_cast<char>(lead[n] | c);
	return n;
}

// Unicode's simple case folding of a code point, from the runs in
// fold.inc.
static long foldpoint(long c)
{
	static const struct {
		long from, to;
		int step, add;
	} runs[] = {
#include "fold.inc"
	};
	size_t lo = 0, hi = sizeof runs / sizeof runs[0];
	while (lo < hi) {
		size_t mid = (lo + hi) / 2;
		if (c > runs[mid].to)
			lo = mid + 1;
		else
			hi = mid;
	}
	// Steps are 1 or 2, and no division: some machines have none.
	return lo < sizeof runs / sizeof runs[0] && c >= runs[lo].from &&
			       (runs[lo].step == 1 || ((c - runs[lo].from) & 1) == 0) ?
		       c + runs[lo].add : c;
}

// The n bytes of UTF-8 at s (checked already), each code point folded,
// into out.
static void casefold(const char *s, size_t n, jsonbuf *out)
{
	out->n = 0;
	for (size_t i = 0; i < n;) {
		size_t len;
		long c = utf8point(reinterpret_cast<const unsigned char *>(s + i), n - i, &len);
		char u[4];
		jsonadd(out, u, pututf8(u, static_cast<unsigned long>(foldpoint(c))));
		i += len;
	}
	jsonadd(out, "", 0);
}

// A name at t in the set of l, told against the key of n bytes at s and
// the name of nn at name: 1 where it is the same name, 2 where it is
// another with the same key, 0 where it is neither.
static int match(const jsonlevel *l, const slot *t, const char *s, size_t n, const char *name, size_t nn)
{
	const char *had = slotname(l, t);
	if (slotlen(t) != n || jsoncmp(had, s, n) != 0)
		return 0;
	return name == s || (strlen(had + n + 1) == nn && jsoncmp(had + n + 1, name, nn) == 0) ? 1 : 2;
}

static void place(slot *t, size_t size, const slot *e)
{
	size_t k = static_cast<size_t>(e->hash & (size - 1));
	while (t[k].len != 0)
		k = (k + 1) & (size - 1);
	t[k] = *e;
}

// The hash set of l made ready for one more name: made from the list
// when the list is full, and grown, twice over, when half full.
static bool roomfor(jsonlevel *l)
{
	if (l->used != fewnames && 2 * (l->used + 1) <= l->nslots)
		return true;
	size_t size = 32;
	while (size < l->nslots || 2 * (l->used + 1) > size)
		size *= 2;
	slot *t = l->slots;
	if (size != l->nslots) {
		t = static_cast<slot *>(malloc(size * sizeof *t));
		if (t == nullptr)
			return false;
	}
	memset(t, 0, size * sizeof *t);		// new, or the last object's at this depth
	if (l->used == fewnames) {
		for (slot &e : l->few) {
			e.hash = static_cast<uint32_t>(jsonhash(slotname(l, &e), slotlen(&e), 0));
			place(t, size, &e);
		}
	} else {
		for (size_t i = 0; i < l->nslots; i++)
			if (l->slots[i].len != 0)
				place(t, size, &l->slots[i]);
	}
	if (t != l->slots) {
		free(l->slots);
		l->slots = t;
		l->nslots = size;
	}
	return true;
}

// Whether the object at the top had a name of the same key already: the
// name itself, or its case folding where the reader is strict; it has it
// now. 0 where it had none; 1 where the name is the same; 2 where another
// name folds to the same key. 0 on a failed allocation too, which *nomem
// says. With a folded key, the name follows it, so that the two can be
// told apart. Where the name is the key and stays where it is, in a text
// in memory, it is not copied.
static int seen(jsonlevel *l, const char *s, size_t n, const char *name, size_t nn, bool stays, bool *nomem)
{
	*nomem = n >= intext - 1 || l->names.n + n + nn + 2 >= intext;	// past what a slot can say
	uint32_t h = 0;
	size_t k = 0;
	if (*nomem) {
		return 0;
	} else if (l->used < fewnames) {
		for (size_t i = 0; i < l->used; i++) {
			int m = slotlen(&l->few[i]) == n ? match(l, &l->few[i], s, n, name, nn) : 0;
			if (m != 0)
				return m;
		}
	} else {
		if (!roomfor(l)) {
			*nomem = true;
			return 0;
		}
		h = static_cast<uint32_t>(jsonhash(s, n, 0));
		for (k = static_cast<size_t>(h & (l->nslots - 1)); l->slots[k].len != 0; k = (k + 1) & (l->nslots - 1)) {
			int m = l->slots[k].hash == h ? match(l, &l->slots[k], s, n, name, nn) : 0;
			if (m != 0)
				return m;
		}
	}
	slot e = {h, static_cast<uint32_t>(l->names.n), static_cast<uint32_t>(n + 1)};
	if (stays && name == s && static_cast<size_t>(s - l->text) < intext) {
		e.off = static_cast<uint32_t>(s - l->text);
		e.len |= intext;
	} else {
		jsonadd(&l->names, s, n);
		jsonadd(&l->names, "", 1);
		if (name != s) {
			jsonadd(&l->names, name, nn);
			jsonadd(&l->names, "", 1);
		}
		if (l->names.bad) {
			*nomem = true;
			return 0;
		}
	}
	if (l->used < fewnames)
		l->few[l->used] = e;
	else
		l->slots[k] = e;
	l->last = e;
	if (name != s) {	// the name itself, after its key
		l->last.off += static_cast<uint32_t>(n + 1);
		l->last.len = static_cast<uint32_t>(nn + 1);
	}
	l->used++;
	return 0;
}

static jsonevent open(json *j, bool object)
{
	if (j->depth == jsondepth)
		return fail(j, false, "nesting deeper than 1000 levels");
	if (j->depth == j->nlevels) {
		int n = j->nlevels == 0 ? 16 : 2 * j->nlevels;
		if (n > jsondepth)
			n = jsondepth;
		jsonlevel *l = static_cast<jsonlevel *>(realloc(j->levels, static_cast<size_t>(n) * sizeof *l));
		if (l == nullptr)
			return fail(j, false, "out of memory");
		// What a level keeps from one container to the next starts
		// empty; the rest is set as each opens.
		for (int i = j->nlevels; i < n; i++) {
			l[i].names = {};
			l[i].slots = nullptr;
			l[i].nslots = 0;
		}
		j->levels = l;
		j->nlevels = n;
	}
	jsonlevel *l = &j->levels[j->depth++];
	l->text = j->fd < 0 ? j->buf : nullptr;
	l->ways = j->ways;
	l->all = j->all;
	for (int i = 0; i < jsonstepsheld; i++)
		l->stepat[i] = j->stepat[i];
	l->object = object;
	l->count = 0;
	l->plen = j->ptr.n;
	l->names.n = 0;
	l->used = 0;
	j->start++;
	j->type = object ? jsonobject : jsonarray;
	j->data = nullptr;
	j->len = 0;
	j->more = false;
	j->state = s_first;
	return jsonvalue;
}

// What comes after a value: the rest of its container, or the end.
static int after(const json *j)
{
	return j->depth > 0 ? s_after : s_top;
}

static jsonevent close(json *j)
{
	jsonlevel *l = &j->levels[--j->depth];
	j->ptr.n = l->plen;
	if (j->ptr.p != nullptr)
		j->ptr.p[j->ptr.n] = '\0';
	j->count = l->count;
	j->type = l->object ? jsonobject : jsonarray;
	giveback(l);
	j->start++;
	j->state = after(j);
	return jsonclose;
}

static int hexval(char c)
{
	return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 :
	       c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

static long hex4(const char *s)
{
	long v = 0;
	for (int i = 0; i < 4; i++) {
		int d = hexval(s[i]);
		if (d < 0)
			return -1;
		v = v * 16 + d;
	}
	return v;
}


// Decodes the string at hand into j->piece, from j->len on, until the
// closing quote (taken, with *closed set) or until the piece has no room
// for another character, which takes at most 4 bytes. A run of bytes
// that stand for themselves may fill it to the end. Without keep, the
// string is only checked, to its end, and nothing is kept. False where it
// is refused.
static bool decode(json *j, bool *closed, bool inside, bool keep = true)
{
	*closed = false;
	char *out = j->piece;
	size_t n = j->len;
	while (n + 4 <= sizeof j->piece) {
		if (!keep)
			n = 0;
		if (j->start == j->end) {
			fill(j, 1);
			if (j->start == j->end) {
				ended(j, inside, "the text ends in a string");
				return false;
			}
		}
		// A run of bytes that stand for themselves.
		const unsigned char *p = reinterpret_cast<const unsigned char *>(j->buf + j->start);
		size_t room = j->end - j->start, most = keep ? sizeof j->piece - n : room;
		if (room > most)
			room = most;
		size_t k = jsonplain(p, room);
		if (keep)
			jsoncopy(out + n, reinterpret_cast<const char *>(p), k);
		n += keep ? k : 0;
		j->start += k;
		if (k == room)
			continue;
		unsigned char c = p[k];
		if (c == '"') {
			j->start++;
			*closed = true;
			break;
		}
		if (c < 0x20) {
			char m[48];
			catz(m, cathex(m, 0, sizeof m, "a control byte 0x", c), sizeof m, " in a string");
			fail(j, inside, c == 0 ? "a NUL byte" : m);
			return false;
		}
		if (c >= 0x80) {
			fill(j, 4);
			size_t len;
			long cp = utf8point(reinterpret_cast<const unsigned char *>(j->buf + j->start), j->end - j->start, &len);
			if (cp < 0) {
				fail(j, inside, "not UTF-8");
				return false;
			}
			if (j->strict && jsonnonchar(static_cast<unsigned long>(cp))) {
				fail(j, inside, "a noncharacter, which I-JSON forbids");
				return false;
			}
			memcpy(out + n, j->buf + j->start, len);
			n += len;
			j->start += len;
			continue;
		}
		// An escape.
		fill(j, 12);
		const char *e = j->buf + j->start;
		size_t have = j->end - j->start;
		if (have < 2) {
			ended(j, inside, "the text ends in a string");
			return false;
		}
		char one = e[1] == '"' || e[1] == '\\' || e[1] == '/' ? e[1] : e[1] == 'b' ? '\b' :
			   e[1] == 'f' ? '\f' : e[1] == 'n' ? '\n' : e[1] == 'r' ? '\r' : e[1] == 't' ? '\t' : '\0';
		if (one != '\0') {
			out[n++] = one;
			j->start += 2;
			continue;
		}
		long u = e[1] == 'u' && have >= 6 ? hex4(e + 2) : -1;
		if (e[1] != 'u') {
			char m[48], s[16];
			shown(s, sizeof s, e + 1, 1);
			catz(m, catz(m, 0, sizeof m, "a bad escape \\"), sizeof m, s);
			fail(j, inside, m);
			return false;
		}
		if (u < 0) {
			fail(j, inside, "\\u not followed by four hex digits");
			return false;
		}
		if (u == 0) {
			fail(j, inside, "\\u0000, a NUL, which no shell variable can hold");
			return false;
		}
		size_t used = 6;
		if (u >= 0xD800 && u <= 0xDBFF) {
			long lo = have >= 12 && e[6] == '\\' && e[7] == 'u' ? hex4(e + 8) : -1;
			if (lo < 0xDC00 || lo > 0xDFFF) {
				fail(j, inside, "a high surrogate not followed by a low one");
				return false;
			}
			u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
			used = 12;
		} else if (u >= 0xDC00 && u <= 0xDFFF) {
			fail(j, inside, "a low surrogate with no high one before it");
			return false;
		}
		if (j->strict && jsonnonchar(static_cast<unsigned long>(u))) {
			fail(j, inside, "a noncharacter, which I-JSON forbids");
			return false;
		}
		n += pututf8(out + n, static_cast<unsigned long>(u));
		j->start += used;
	}
	j->len = keep ? n : 0;
	return true;
}

// 2^1024 - 2^970, the least number that rounds to infinity as a double.
static const char huge[] = "17976931348623158079372897140530341507993413271003782693617377898044496829276475"
			   "09466490179775872070963302864166928879109465555478519404026306574886715058206819"
			   "08902000708383676273854845817711531764475730270069855571366959622842914819860834"
			   "936475292719074168444365510704342711559699508093042880177904174497792";

// Takes the bytes of the number at hand into the piece, checking its
// grammar as it goes (nstate: 0 at its start, 1 after '-', 2 after a
// leading 0, 3 in the integer, 4 after '.', 5 in the fraction, 6 after
// 'e', 7 after its sign, 8 in the exponent), until a byte that ends it or
// a full piece; *whole says which. False where it is refused.
static bool number(json *j, bool *whole)
{
	*whole = false;
	size_t n = j->len;
	for (;;) {
		int c = peek(j);
		unsigned s = j->nstate;
		bool digit = c >= '0' && c <= '9';
		unsigned next = 99;
		if (s == 0 && c == '-')
			next = 1;
		else if ((s == 0 || s == 1) && digit)
			next = c == '0' ? 2 : 3;
		else if (s == 3 && digit)
			next = 3;
		else if ((s == 2 || s == 3) && c == '.')
			next = 4;
		else if ((s == 4 || s == 5) && digit)
			next = 5;
		else if ((s == 2 || s == 3 || s == 5) && (c == 'e' || c == 'E'))
			next = 6;
		else if (s == 6 && (c == '+' || c == '-'))
			next = 7;
		else if ((s >= 6) && digit)
			next = 8;
		if (next == 99) {
			if ((s == 2 && !digit) || s == 3 || s == 5 || s == 8) {
				*whole = true;
				break;
			}
			if (c < 0 && j->msg[0] != '\0')
				return ended(j, false, ""), false;
			fail(j, false, s == 2 && digit ? "a number with a leading zero" :
				       s == 1 ? "a '-' with no digit after it" :
				       s == 4 ? "a '.' with no digit after it" :
				       "an exponent with no digit");
			return false;
		}
		if (n == sizeof j->piece)
			break;
		j->piece[n++] = static_cast<char>(c);
		j->start++;
		j->nstate = next;
		// What the strict checks need: the digits that count, and the
		// exponent, held at a bound past which any number overflows.
		if ((next == 2 || next == 3 || next == 5) && digit) {
			if (next != 5)
				j->intdigits += c != '0' || j->intdigits > 0 ? 1 : 0;
			if (c != '0' || j->sig > 0) {
				if (j->sig < sizeof j->digits - 1)
					j->digits[j->sig] = static_cast<char>(c);
				j->sig++;
			} else if (next == 5) {
				j->zeros++;
			}
		} else if (next == 4 || next == 6) {
			j->fraction = true;
		} else if (next == 7) {
			j->expneg = c == '-';
		} else if (next == 8 && j->exp < 1000000000) {
			j->exp = j->exp * 10 + (c - '0');
		}
	}
	j->len = n;
	if (!*whole || !j->strict)
		return true;
	// I-JSON: an integer within 2^53 - 1, a number within a double.
	if (!j->fraction && (j->intdigits > 16 || (j->intdigits == 16 && jsoncmp(j->digits, "9007199254740991", 16) > 0))) {
		fail(j, false, "an integer beyond 2^53 - 1, which I-JSON forbids");
		return false;
	}
	if (j->sig > 0) {
		long long e = j->expneg ? -j->exp : j->exp;
		long long top = j->intdigits > 0 ? static_cast<long long>(j->intdigits) - 1 + e :
						   -static_cast<long long>(j->zeros) - 1 + e;
		size_t k = j->sig < sizeof huge - 1 ? j->sig : sizeof huge - 1;
		int cmp = jsoncmp(j->digits, huge, k);
		if (top > 308 || (top == 308 && (cmp > 0 || (cmp == 0 && k == sizeof huge - 1)))) {
			fail(j, false, "a number beyond a double's range, which I-JSON forbids");
			return false;
		}
	}
	return true;
}

// A number as most are, all in the window and followed there by what ends
// it, as jsonplainnum finds one, is taken where it stands; anything else
// is read by number, which says what is wrong.
static bool plainnumber(json *j)
{
	size_t n = jsonplainnum(reinterpret_cast<const unsigned char *>(j->buf + j->start), j->end - j->start);
	if (n == 0)
		return false;
	j->data = j->buf + j->start;
	j->len = n;
	j->start += n;
	return true;
}

// A byte order mark of UTF-16, or ASCII as UTF-16 writes it, with a NUL
// before or after each byte.
static bool utf16(json *j)
{
	fill(j, 4);
	const unsigned char *b = reinterpret_cast<const unsigned char *>(j->buf + j->start);
	size_t n = j->end - j->start;
	return (n >= 2 && ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE))) ||
	       (n >= 4 && ((b[0] == 0 && b[1] != 0 && b[2] == 0) || (b[0] != 0 && b[1] == 0 && b[3] == 0)));
}

// Where a value should begin and something else does.
static jsonevent novalue(json *j, int c, bool comma)
{
	char m[64];
	if (c < 0)
		return ended(j, j->depth > 0, j->depth == 0 && j->state == s_start ? "no value: the text is empty" :
					    "the text ends where a value should be");
	if (comma && (c == ']' || c == '}'))
		return fail(j, true, "a trailing comma");
	const char *what = c == '/' ? "a comment" : c == '\'' ? "a string in single quotes" :
			   c == '+' ? "a '+' before a number" : c == '.' ? "a number with no digit before '.'" :
			   c == 0 ? "a NUL byte" :
			   (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ? "a word other than true, false or null" :
			   nullptr;
	if (what != nullptr)
		return fail(j, false, what);
	if (c >= 0x80 || c < 0x20) {
		catz(m, cathex(m, 0, sizeof m, "byte 0x", static_cast<unsigned char>(c)), sizeof m,
		     " where a value should be");
	} else {
		char q[3] = {'\'', static_cast<char>(c), '\''};
		catz(m, jsoncat(m, 0, sizeof m, q, 3), sizeof m, " where a value should be");
	}
	return fail(j, false, m);
}

// The string or number at hand, its first piece or the next, as the
// event e: its bytes in the piece, and whether more follow.
static jsonevent piece(json *j, jsonevent e)
{
	bool done;
	j->len = 0;
	if (!(j->state == s_string ? decode(j, &done, false) : number(j, &done)))
		return jsonfailed;
	j->data = j->piece;
	j->more = !done;
	if (done)
		j->state = after(j);
	return e;
}

// Whether the member that begins, of the container at the top, is asked
// for: at or under a pointer of jsonwant's, or on the way to one, which
// the container tells from its own ways and the member's one step, its
// name or, with no name, its place. What it holds is then asked for
// too, or on the way; a container that it opens keeps that in j->ways
// and j->all. The whole text is on the way to every pointer.
static bool asked(json *j, const char *name, size_t n)
{
	if (j->depth == 0 || j->nwant > 64) {
		j->ways = j->nwant > 64 ? 0 : ~0ULL >> (64 - j->nwant);
		j->all = j->nwant > 64;
		for (int k = 0; k < j->nwant && !j->all; k++)
			j->all = j->want[k][0] == '\0';
		for (uint16_t &at : j->stepat)
			at = 0;
		return true;
	}
	const jsonlevel *l = &j->levels[j->depth - 1];
	j->ways = 0;
	j->all = l->all;
	if (j->all)
		return true;
	char place[24];
	if (name == nullptr) {
		n = jsonnum(place, 0, sizeof place, l->count);
		name = place;
	}
	for (int i = 0; i < j->nwant; i++) {
		if ((l->ways >> i & 1) == 0)
			continue;
		// The pointer's step at this depth, where the container's
		// match ended, or past as many '/' as the container has steps.
		const char *p = j->want[i];
		if (i < jsonstepsheld && l->stepat[i] != jsonnostep) {
			p += l->stepat[i];
		} else {
			for (int d = 1; d < j->depth; d++)
				while (*++p != '/')
					;
		}
		size_t k = 1;
		while (p[k] != '\0' && p[k] != '/')
			k++;
		if ((k == 2 && p[1] == '~' && (j->wild >> i & 1) != 0) || jsonstep(p + 1, k - 1, name, n)) {
			if (p[k] == '\0') {
				j->all = true;
				return true;
			}
			j->ways |= 1ULL << i;
			size_t at = static_cast<size_t>(p + k - j->want[i]);
			if (i < jsonstepsheld)
				j->stepat[i] = static_cast<uint16_t>(at < size_t{jsonnostep} ? at : size_t{jsonnostep});
		}
	}
	return j->ways != 0;
}

// A value begins; silent where it is a member that nothing asks for,
// which is passed over as it is read: a container as jsonskip passes one,
// a scalar with its pointer made only where it is refused.
static jsonevent value(json *j, bool comma, bool silent = false)
{
	int c = skipblanks(j);
	if (j->depth > 0)
		j->levels[j->depth - 1].count++;
	else if (j->nwant > 0)
		asked(j, nullptr, 0);
	j->more = false;
	j->len = 0;
	// A silent member's pointer, where a refusal names it, is made from
	// its container's, as within a container passed over.
	if (silent)
		j->quiet = j->depth;
	switch (c) {
	case '{':
	case '[': {
		jsonevent e = open(j, c == '{');
		if (silent && e == jsonvalue) {
			j->quiet = j->depth;
			j->hidden = true;
		}
		return e;
	}
	case '"':
		j->start++;
		j->type = jsonstring;
		if (j->quiet > 0) {
			// Checked to its end, and nothing kept.
			bool closed;
			if (!decode(j, &closed, false, false))
				return jsonfailed;
			break;
		}
		j->state = s_string;
		return piece(j, jsonvalue);
	case 't':
	case 'f':
	case 'n': {
		fill(j, 5);
		const char *word = c == 't' ? "true" : c == 'f' ? "false" : "null";
		size_t n = strlen(word);
		if (j->end - j->start < n || jsoncmp(j->buf + j->start, word, n) != 0)
			return novalue(j, c, comma);
		j->start += n;
		j->type = c == 'n' ? jsonnull : jsonboolean;
		j->data = word;
		j->len = n;
		break;
	}
	default:
		if (c != '-' && !(c >= '0' && c <= '9'))
			return novalue(j, c, comma);
		j->type = jsonnumber;
		if (plainnumber(j))
			break;
		j->nstate = 0;
		j->intdigits = j->sig = j->zeros = 0;
		j->exp = 0;
		j->expneg = j->fraction = false;
		j->state = s_number;
		if (!silent)
			return piece(j, jsonvalue);
		do
			if (piece(j, jsonvalue) == jsonfailed)
				return jsonfailed;
		while (j->more);
		break;
	}
	// A scalar, whole.
	if (silent) {
		j->quiet = 0;
		j->hidden = true;
	}
	j->state = after(j);
	return jsonvalue;
}

// A member's name, whole, and the ':' after it: the pointer then names
// the member.
static jsonevent name(json *j)
{
	unsigned long long where = at(j);
	j->name.n = 0;
	bool closed = false;
	j->start++;
	// Mostly a name is plain bytes, all in the window: in a text in
	// memory, it is used where it stands, and copied only where it is
	// announced; in a stream, whose window moves, it is copied now.
	size_t k = jsonplain(reinterpret_cast<const unsigned char *>(j->buf + j->start), j->end - j->start);
	closed = j->start + k < j->end && j->buf[j->start + k] == '"';
	bool stays = closed && j->fd < 0;
	if (stays) {
		j->nameat = j->buf + j->start;
		j->namelen = k;
	} else if (closed) {
		jsonadd(&j->name, j->buf + j->start, k);
	}
	if (closed)
		j->start += k + 1;
	while (!closed) {
		j->len = 0;
		if (!decode(j, &closed, true))
			return jsonfailed;
		jsonadd(&j->name, j->piece, j->len);
	}
	if (j->name.bad)
		return fail(j, true, "out of memory");
	if (!stays) {
		j->nameat = j->name.p != nullptr ? j->name.p : "";
		j->namelen = j->name.n;
	}
	// Strict, names are told apart as a reader that matches them by case
	// folding tells them, as Go's does: "ADMIN" is "admin" there.
	bool nomem;
	const char *name = j->nameat;
	size_t n = j->namelen;
	if (j->strict)
		casefold(name, n, &j->fold);
	if (j->fold.bad)
		return fail(j, true, "out of memory");
	int had = j->strict ? seen(&j->levels[j->depth - 1], j->fold.p, j->fold.n, name, n, false, &nomem) :
			      seen(&j->levels[j->depth - 1], name, n, name, n, stays, &nomem);
	if (had != 0) {
		char m[200], s[120];
		shown(s, sizeof s, name, n);
		catz(m, catz(m, catz(m, 0, sizeof m, had == 1 ? "duplicate name \"" : "a name equal to another under case folding, \""),
				sizeof m, s), sizeof m, "\"");
		return failat(j, where, true, m);
	}
	if (nomem)
		return fail(j, true, "out of memory");
	j->state = s_colon;
	return jsonmore;	// not an event: jsonnext goes on
}

static jsonevent step(json *j)
{
	for (;;) {
		int c;
		switch (j->state) {
		case s_failed:
			return jsonfailed;
		case s_done:
			return jsondone;
		case s_start:
			if (utf16(j))
				return fail(j, false, "UTF-16 text, not UTF-8");
			if (j->end - j->start >= 3 && jsoncmp(j->buf + j->start, "\xEF\xBB\xBF", 3) == 0)
				return fail(j, false, "a byte order mark");
			return value(j, false);
		case s_first:
		case s_name: {
			// A container's first member, or its end; an object's next
			// name, after a comma.
			c = skipblanks(j);
			bool first = j->state == s_first, object = j->levels[j->depth - 1].object;
			if (first && c == (object ? '}' : ']'))
				return close(j);
			if (!object) {
				return value(j, false, member(j, nullptr, 0));
			}
			if (c == '}')
				return fail(j, true, "a trailing comma");
			if (c != '"')
				return c < 0 ? ended(j, true, "the text ends in an object") :
					       fail(j, true, "a name should be a string in double quotes");
			if (name(j) == jsonfailed)
				return jsonfailed;
			break;
		}
		case s_colon:
			c = skipblanks(j);
			if (c != ':')
				return c < 0 ? ended(j, true, "the text ends in an object") :
					       fail(j, true, "a name not followed by ':'");
			j->start++;
			return value(j, false, member(j, j->nameat, j->namelen));
		case s_after: {
			c = skipblanks(j);
			bool object = j->levels[j->depth - 1].object;
			if (c == (object ? '}' : ']'))
				return close(j);
			if (c == ',') {
				j->start++;
				if (object) {
					j->state = s_name;
					break;
				}
				return value(j, true, member(j, nullptr, 0));
			}
			if (c < 0)
				return ended(j, true, object ? "the text ends in an object" : "the text ends in an array");
			return fail(j, true, object ? "a member not followed by ',' or '}'" :
						      "a value not followed by ',' or ']'");
		}
		case s_top:
			c = skipblanks(j);
			if (c >= 0)
				return fail(j, false, "bytes after the value");
			if (j->msg[0] != '\0')
				return ended(j, false, "");
			j->state = s_done;
			return jsondone;
		case s_string:
		case s_number:
			return piece(j, jsonmore);
		}
	}
}

jsonevent jsonnext(json *j)
{
	for (;;) {
		jsonevent e = step(j);
		if (e == jsonfailed)
			return e;
		if (j->quiet > 0) {
			// Within a container passed over: only its end, and that
			// only where it was announced.
			if (e != jsonclose || j->depth >= j->quiet)
				continue;
			j->quiet = 0;
		}
		if (!j->hidden)
			return e;
		j->hidden = false;
	}
}

void jsonwant(json *j, const char *const *patterns, int n)
{
	j->want = patterns;
	j->nwant = n;
	j->wild = 0;
	for (int i = 0; i < n && i < 64; i++)
		for (const char *p = patterns[i]; *p != '\0'; p++)
			if (p[0] == '/' && p[1] == '~' && (p[2] == '/' || p[2] == '\0'))
				j->wild |= 1ULL << i;
}

void jsonskip(json *j)
{
	if (j->state == s_first && j->depth > 0)
		j->quiet = j->depth;
}

// The container that holds the value that has just begun, or null: one
// below the top where the value is itself a container, just opened.
static const jsonlevel *holder(const json *j)
{
	int at = j->depth - (j->type >= jsonarray && j->state == s_first ? 2 : 1);
	return at >= 0 ? &j->levels[at] : nullptr;
}

bool jsonnamed(const json *j)
{
	const jsonlevel *l = holder(j);
	return l != nullptr && l->object;
}

bool jsonfirst(const json *j)
{
	const jsonlevel *l = holder(j);
	return l != nullptr && l->count == 1;
}

unsigned long jsonplace(const json *j)
{
	const jsonlevel *l = holder(j);
	return l != nullptr ? l->count - 1 : 0;
}
