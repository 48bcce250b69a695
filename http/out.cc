// The pairs that a reading gives, and the set of names that finds a
// repeated one.
#include <cstdlib>
#include <cstring>

#include "http.h"

void httpfree(httpout *o)
{
	jsonfree(&o->text);
	free(o->p);
	*o = {};
}

void httpclear(httpout *o)
{
	o->text.n = 0;
	o->n = 0;
}

static size_t put(httpout *o, const char *s, size_t n)
{
	size_t at = o->text.n;
	char *to = jsongrow(&o->text, n + 1);
	if (to == nullptr) {
		o->bad = true;
		return 0;
	}
	if (n > 0)
		memcpy(to, s, n);
	to[n] = '\0';
	o->text.n += n + 1;
	return at;
}

void httpreserve(httpout *o, size_t pairs, size_t bytes)
{
	if (o->n + pairs > o->cap) {
		httppair *p = static_cast<httppair *>(realloc(o->p, (o->n + pairs) * sizeof *p));
		if (p == nullptr) {
			o->bad = true;
			return;
		}
		o->p = p;
		o->cap = o->n + pairs;
	}
	if (jsongrow(&o->text, bytes) == nullptr)
		o->bad = true;
}

void httpput(httpout *o, const char *k, size_t kn, const char *v, size_t vn, const char *type)
{
	if (o->n == o->cap) {
		size_t cap = o->cap == 0 ? 16 : 2 * o->cap;
		httppair *p = static_cast<httppair *>(realloc(o->p, cap * sizeof *p));
		if (p == nullptr) {
			o->bad = true;
			return;
		}
		o->p = p;
		o->cap = cap;
	}
	size_t key = put(o, k, kn), value = put(o, v, vn);
	if (!o->bad)
		o->p[o->n++] = {key, value, type};
}

long httpfind(const httpout *o, const char *key)
{
	for (size_t i = 0; i < o->n; i++)
		if (samestr(httpkey(o, i), key))
			return static_cast<long>(i);
	return -1;
}

void namefree(nameset *s)
{
	free(s->slot);
	*s = {};
}

// Open addressing at most half full: a probe walks past the slots of
// other hashes only, and the hash is the key's secret.
static bool grow(nameset *s)
{
	size_t cap = s->cap == 0 ? 32 : 2 * s->cap;
	nameslot *slot = static_cast<nameslot *>(calloc(cap, sizeof *slot));
	if (slot == nullptr)
		return false;
	for (size_t k = 0; k < s->cap; k++) {
		if (s->slot[k].i == 0)
			continue;
		size_t at = static_cast<size_t>(s->slot[k].h) & (cap - 1);
		while (slot[at].i != 0)
			at = (at + 1) & (cap - 1);
		slot[at] = s->slot[k];
	}
	free(s->slot);
	s->slot = slot;
	s->cap = cap;
	return true;
}

long nameadd(nameset *s, uint64_t h, size_t i, samename *same, const void *ctx)
{
	if (2 * (s->n + 1) > s->cap && !grow(s))
		return -2;
	size_t at = static_cast<size_t>(h) & (s->cap - 1);
	for (; s->slot[at].i != 0; at = (at + 1) & (s->cap - 1))
		if (s->slot[at].h == h && same(ctx, s->slot[at].i - 1, i))
			return static_cast<long>(s->slot[at].i - 1);
	s->slot[at] = {h, i + 1};
	s->n++;
	return -1;
}
