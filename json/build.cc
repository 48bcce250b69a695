// Building a whole JSON text from the pointers and values that the
// reader gives, as jsonquote -A does, nothing guessed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text.h"
#include "json.h"

// A node of the text being built: its name (bytes in the arena), its
// value and type where given, and its members, first as a list and then
// in order.
struct node {
	size_t name, namelen;
	long parent;
	const char *value;	// null where none was given
	int type;		// a jsontype, or -1 where none was given
	long first, next;	// members, as they come
	long *sorted;		// members, in their order
	size_t nsorted;
};

struct tree {
	node *v;
	size_t n, cap;
	jsonbuf arena;
	long *table;		// (parent, name) to node, open addressing
	size_t slots;
	bool bad;
};

static const char *nameof(const tree *t, const node *d)
{
	return t->arena.p + d->name;
}

// The member of parent named s, made where it is not there yet.
static long child(tree *t, long parent, const char *s, size_t n)
{
	if (2 * (t->n + 1) > t->slots) {
		size_t size = t->slots == 0 ? 64 : 2 * t->slots;
		long *table = static_cast<long *>(malloc(size * sizeof *table));
		if (table == nullptr)
			return t->bad = true, -1;
		for (size_t i = 0; i < size; i++)
			table[i] = -1;
		for (size_t i = 1; i < t->n; i++) {
			size_t k = static_cast<size_t>(jsonhash(nameof(t, &t->v[i]), t->v[i].namelen, static_cast<uint64_t>(t->v[i].parent)) & (size - 1));
			while (table[k] >= 0)
				k = (k + 1) & (size - 1);
			table[k] = static_cast<long>(i);
		}
		free(t->table);
		t->table = table;
		t->slots = size;
	}
	size_t k = static_cast<size_t>(jsonhash(s, n, static_cast<uint64_t>(parent)) & (t->slots - 1));
	for (; t->table[k] >= 0; k = (k + 1) & (t->slots - 1)) {
		node *d = &t->v[t->table[k]];
		if (d->parent == parent && d->namelen == n && memcmp(nameof(t, d), s, n) == 0)
			return t->table[k];
	}
	if (t->n == t->cap) {
		size_t cap = t->cap == 0 ? 64 : 2 * t->cap;
		node *v = static_cast<node *>(realloc(t->v, cap * sizeof *v));
		if (v == nullptr)
			return t->bad = true, -1;
		t->v = v;
		t->cap = cap;
	}
	long id = static_cast<long>(t->n++);
	node *d = &t->v[id];
	*d = {t->arena.n, n, parent, nullptr, -1, -1, -1, nullptr, 0};
	jsonadd(&t->arena, s, n);
	jsonadd(&t->arena, "", 1);
	d->next = t->v[parent].first;
	t->v[parent].first = id;
	t->table[k] = id;
	t->bad = t->bad || t->arena.bad;
	return id;
}

// The node that pointer p names, made with every container above it, a
// name at a time.
static long path(tree *t, const char *p, jsonbuf *name)
{
	long at = 0;
	while (at >= 0 && (p = jsonname(p, name)) != nullptr)
		at = child(t, at, name->p, name->n);
	return at;
}

static int typenamed(const char *s)
{
	for (int i = 0; i <= jsonobject; i++)
		if (strcmp(s, jsontypes[i]) == 0)
			return i;
	return -1;
}

// RFC 8259's number: -? (0 | [1-9][0-9]*) (.[0-9]+)? ([eE][+-]?[0-9]+)?
static bool isnumber(const char *s)
{
	s += *s == '-';
	if (*s == '0')
		s++;
	else if (*s >= '1' && *s <= '9')
		s += strspn(s, "0123456789");
	else
		return false;
	if (*s == '.') {
		size_t d = strspn(++s, "0123456789");
		if (d == 0)
			return false;
		s += d;
	}
	if (*s == 'e' || *s == 'E') {
		s++;
		s += *s == '+' || *s == '-';
		size_t d = strspn(s, "0123456789");
		if (d == 0)
			return false;
		s += d;
	}
	return *s == '\0';
}

// Whether n bytes at s are a decimal index with no leading zero, below
// count.
static bool isindex(const char *s, size_t n, size_t count, size_t *i)
{
	if (n == 0 || n > 18 || (n > 1 && s[0] == '0') || strspn(s, "0123456789") < n)
		return false;
	*i = strtoul(s, nullptr, 10);
	return *i < count;
}

static const tree *sorting;
static int byname(const void *a, const void *b)
{
	const node *x = &sorting->v[*static_cast<const long *>(a)];
	const node *y = &sorting->v[*static_cast<const long *>(b)];
	size_t n = x->namelen < y->namelen ? x->namelen : y->namelen;
	int c = memcmp(nameof(sorting, x), nameof(sorting, y), n);
	return c != 0 ? c : x->namelen < y->namelen ? -1 : x->namelen > y->namelen;
}

// The pointer of node id, for a message.
static void pointerof(const tree *t, long id, jsonbuf *out)
{
	out->n = 0;
	long chain[jsondepth + 1];
	int n = 0;
	for (long at = id; at > 0 && n <= jsondepth; at = t->v[at].parent)
		chain[n++] = at;
	while (n > 0) {
		const node *d = &t->v[chain[--n]];
		jsonadd(out, "/", 1);
		jsonescname(out, nameof(t, d), d->namelen);
	}
	jsonadd(out, "", 0);
}

// Each node's members in their order, and each checked: false with what
// is wrong in why.
static bool check(tree *t, long id, bool array, const char **why)
{
	node *d = &t->v[id];
	size_t count = 0;
	for (long c = d->first; c >= 0; c = t->v[c].next)
		count++;
	bool container = count > 0 || d->type == jsonobject || d->type == jsonarray || id == 0;
	if (count > 0 && d->type >= 0 && d->type < jsonarray)
		return *why = "a leaf that also has members", false;
	if (count > 0 && d->value != nullptr)
		return *why = "a value that also has members", false;
	if (!container) {
		const char *v = d->value;
		if (v == nullptr)
			return *why = "a type with no value", false;
		if (utf8bad(v) >= 0)
			return *why = "not UTF-8", false;
		if (d->type == jsonnumber && !isnumber(v))
			return *why = "not a JSON number", false;
		if (d->type == jsonboolean && strcmp(v, "true") != 0 && strcmp(v, "false") != 0)
			return *why = "neither true nor false", false;
		if (d->type == jsonnull && strcmp(v, "null") != 0)
			return *why = "not null", false;
		return true;
	}
	// The whole text is an object, or an array where -r or its type, under
	// "#", says so.
	if (id == 0 && d->type >= 0 && d->type < jsonarray)
		return *why = "#: the whole text's type must be object or array", false;
	if (id == 0 && array && d->type == jsonobject)
		return *why = "#: -r asks for an array, and the type says object", false;
	if (id == 0)
		d->type = array || d->type == jsonarray ? jsonarray : jsonobject;
	else if (d->type < 0)
		d->type = jsonobject;
	d->sorted = static_cast<long *>(malloc((count + 1) * sizeof *d->sorted));
	if (d->sorted == nullptr)
		return *why = "out of memory", false;
	d->nsorted = count;
	size_t k = 0;
	for (long c = d->first; c >= 0; c = t->v[c].next) {
		node *m = &t->v[c];
		if (d->type == jsonobject) {
			d->sorted[k++] = c;
			continue;
		}
		size_t i;
		if (!isindex(nameof(t, m), m->namelen, count, &i))
			return *why = "an array whose names are not 0 to n-1", false;
		d->sorted[i] = c;
	}
	if (d->type == jsonobject) {
		sorting = t;
		qsort(d->sorted, count, sizeof *d->sorted, byname);
		for (size_t i = 0; i < count; i++)
			if (utf8bad(nameof(t, &t->v[d->sorted[i]])) >= 0)
				return *why = "a name that is not UTF-8", false;
	}
	return true;
}

static const char *refuse(char *why, size_t size, const char *ptr, const char *what)
{
	snprintf(why, size, "%s%s%s", ptr, *ptr != '\0' ? ": " : "", what);
	return why;
}

const char *jsonbuild(char *const *kv, size_t n, char *const *tv, size_t nt, bool array,
		      jsonbuf *out, char *why, size_t whysize)
{
	tree t = {};
	jsonbuf name = {}, where = {};
	const char *bad = nullptr;
	// The root, node 0, which no table holds.
	t.v = static_cast<node *>(malloc(64 * sizeof *t.v));
	if (t.v == nullptr)
		return "out of memory";
	t.cap = 64;
	t.n = 1;
	t.v[0] = {0, 0, -1, nullptr, -1, -1, -1, nullptr, 0};
	jsonadd(&t.arena, "", 1);
	for (size_t i = 0; bad == nullptr && i < n + nt; i++) {
		const char *p = i < n ? kv[2 * i] : tv[2 * (i - n)];
		const char *v = i < n ? kv[2 * i + 1] : tv[2 * (i - n) + 1];
		// "#", the whole text's key in TYPES, which no pointer is.
		bool whole = i >= n && strcmp(p, "#") == 0;
		const char *what = *p == '\0' ? "an empty pointer, the whole text's, has no value of its own" :
				   whole ? nullptr : jsonpointer(p);
		long id = whole ? 0 : what == nullptr ? path(&t, p, &name) : -1;
		if (what == nullptr && id < 0)
			what = "out of memory";
		if (what == nullptr && i < n)
			t.v[id].value = v;
		if (what == nullptr && i >= n && (t.v[id].type = typenamed(v)) < 0)
			what = "a type other than object, array, string, number, boolean or null";
		if (what != nullptr)
			bad = refuse(why, whysize, p, what);
	}
	// Depth first, with a stack of its own: each node's members are put
	// in order as it is met, and written in it.
	struct frame {
		long id;
		size_t next;
	};
	frame *stack = static_cast<frame *>(malloc((jsondepth + 2) * sizeof *stack));
	int depth = 0;
	const char *what = nullptr;
	if (bad == nullptr && stack == nullptr)
		bad = "out of memory";
	if (bad == nullptr && check(&t, 0, array, &what))
		stack[depth++] = {0, 0};
	else if (bad == nullptr)
		bad = refuse(why, whysize, "", what);
	while (bad == nullptr && depth > 0) {
		frame *f = &stack[depth - 1];
		node *d = &t.v[f->id];
		if (f->next == 0)
			jsonadd(out, d->type == jsonarray ? "[" : "{", 1);
		if (f->next == d->nsorted) {
			jsonadd(out, d->type == jsonarray ? "]" : "}", 1);
			depth--;
			continue;
		}
		long id = d->sorted[f->next];
		if (f->next++ > 0)
			jsonadd(out, ",", 1);
		node *m = &t.v[id];
		if (d->type == jsonobject) {
			jsonadd(out, "\"", 1);
			jsonstr(out, nameof(&t, m), m->namelen);
			jsonadd(out, "\":", 2);
		}
		if (!check(&t, id, false, &what) || (m->sorted != nullptr && depth > jsondepth)) {
			pointerof(&t, id, &where);
			bad = refuse(why, whysize, where.p, what != nullptr ? what : "nesting deeper than 1000 levels");
		} else if (m->sorted != nullptr) {
			stack[depth++] = {id, 0};
		} else if (m->type == jsonnumber || m->type == jsonboolean || m->type == jsonnull) {
			jsonadd(out, m->value, strlen(m->value));
		} else {
			jsonadd(out, "\"", 1);
			jsonstr(out, m->value, strlen(m->value));
			jsonadd(out, "\"", 1);
		}
	}
	if (bad == nullptr && (out->bad || t.bad || where.bad))
		bad = "out of memory";
	for (size_t i = 0; i < t.n; i++)
		free(t.v[i].sorted);
	free(t.v);
	free(t.table);
	free(stack);
	jsonfree(&t.arena);
	jsonfree(&name);
	jsonfree(&where);
	return bad;
}
