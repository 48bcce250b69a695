// Structured fields (RFC 9651): a list, a dictionary or an item, read by
// the parsing algorithms of its section 4.2, and written again in the
// canonical form of section 4.1.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "http.h"
#include "intern.h"
#include "text.h"
#include "trust.h"

// A member, an inner list's item, or a parameter, in the order read; an
// item's parameters come right after it, an inner list's after its items.
struct sfnode {
	char type;		// i d s t b ? @ % (
	long long num;		// integer, date, boolean, a decimal's whole part
	int frac;		// a decimal's thousandths, of its sign
	size_t off, len;	// the bytes of s t b %, in the value buffer
	size_t key, keylen;	// a dictionary member's or a parameter's, in the input
	size_t owner;		// a parameter's item, or nobody: a member
	size_t params, nparams;
	size_t first, count;	// an inner list's items, by next
	size_t next;
	size_t pos;		// a member's place
};
static const size_t nobody = ~static_cast<size_t>(0);

struct sf {
	cur c;
	sfnode *node;
	size_t n, cap;
	size_t *top;		// the members, in order
	size_t ntop;
	jsonbuf bytes;
	nameset keys;
	const char *why;
};

static bool fail(sf *p, const char *why)
{
	if (p->why == nullptr)
		p->why = why;
	return false;
}

static size_t newnode(sf *p)
{
	if (p->n == p->cap) {
		size_t cap = p->cap == 0 ? 16 : 2 * p->cap;
		sfnode *n = static_cast<sfnode *>(realloc(p->node, cap * sizeof *n));
		if (n == nullptr) {
			fail(p, "cannot allocate the field");
			return nobody;
		}
		p->node = n;
		p->cap = cap;
	}
	p->node[p->n] = {};
	p->node[p->n].owner = nobody;
	p->node[p->n].next = nobody;
	return p->n++;
}

static bool lcalpha(char c)
{
	return c >= 'a' && c <= 'z';
}
static bool digit(char c)
{
	return c >= '0' && c <= '9';
}
static bool alpha(char c)
{
	return lcalpha(c) || (c >= 'A' && c <= 'Z');
}

static bool lowhex(char c)
{
	return digit(c) || (c >= 'a' && c <= 'f');
}

static bool key(sf *p, size_t *at, size_t *len)
{
	cur *c = &p->c;
	if (!lcalpha(peek(c)) && peek(c) != '*')
		return fail(p, "a key that does not begin with a lower-case letter or *");
	*at = c->i;
	while (more(c) && (lcalpha(peek(c)) || digit(peek(c)) || among(peek(c), "_-.*")))
		c->i++;
	*len = c->i - *at;
	return true;
}

static bool number(sf *p, sfnode *v)
{
	cur *c = &p->c;
	bool neg = peek(c) == '-';
	if (neg)
		c->i++;
	if (!digit(peek(c)))
		return fail(p, "a number with no digit");
	long long whole = 0, frac = 0;
	size_t len = 0, fracs = 0;
	bool decimal = false;
	for (; more(c); c->i++) {
		char d = peek(c);
		if (digit(d)) {
			if (decimal) {
				frac = frac * 10 + (d - '0');
				fracs++;
			} else {
				whole = whole * 10 + (d - '0');
			}
		} else if (!decimal && d == '.') {
			if (len > 12)
				return fail(p, "a decimal of more than 12 digits before its point");
			decimal = true;
		} else {
			break;
		}
		len++;
		if (!decimal && len > 15)
			return fail(p, "an integer of more than 15 digits");
		if (decimal && len > 16)
			return fail(p, "a decimal of more than 16 characters");
	}
	if (decimal && fracs == 0)
		return fail(p, "a decimal with no digit after its point");
	if (fracs > 3)
		return fail(p, "a decimal with more than 3 digits after its point");
	for (size_t i = fracs; i < 3; i++)
		frac *= 10;
	v->type = decimal ? 'd' : 'i';
	// A decimal is kept as its whole part and its thousandths, each of
	// the sign, as dividing one of 64 bits needs libgcc on some machines.
	v->num = neg ? -whole : whole;
	v->frac = static_cast<int>(neg ? -frac : frac);
	return true;
}

static int b64(char c)
{
	return alpha(c) ? (c <= 'Z' ? c - 'A' : c - 'a' + 26) : digit(c) ? c - '0' + 52 : c == '+' ? 62 : c == '/' ? 63 : -1;
}

static bool bare(sf *p, size_t k)
{
	cur *c = &p->c;
	sfnode *v = &p->node[k];
	char f = peek(c);
	if (f == '-' || digit(f))
		return number(p, v);
	v->off = p->bytes.n;
	if (f == '"') {
		for (c->i++;; c->i++) {
			if (!more(c))
				return fail(p, "a string with no end");
			char b = peek(c);
			if (b == '"')
				break;
			if (b == '\\') {
				c->i++;
				b = peek(c);
				if (b != '"' && b != '\\')
					return fail(p, "a backslash in a string before neither \" nor \\");
			} else if (b < 0x20 || b > 0x7e) {
				return fail(p, "a byte in a string that is not printable ASCII");
			}
			jsonadd(&p->bytes, &b, 1);
		}
		c->i++;
		v->type = 's';
	} else if (alpha(f) || f == '*') {
		size_t from = c->i;
		while (more(c) && (tchar(static_cast<unsigned char>(peek(c))) || peek(c) == ':' || peek(c) == '/'))
			c->i++;
		jsonadd(&p->bytes, c->s + from, c->i - from);
		v->type = 't';
	} else if (f == ':') {
		// Base64 with or without its padding, and with whatever bits pad
		// it, as RFC 9651 asks a parser to take them.
		size_t from = ++c->i;
		while (more(c) && peek(c) != ':')
			c->i++;
		if (!more(c))
			return fail(p, "a byte sequence with no end");
		size_t end = c->i++, pad = 0;
		while (end > from && c->s[end - 1] == '=' && pad < 2)
			end--, pad++;
		if ((end - from) % 4 == 1 || (pad > 0 && (end - from + pad) % 4 != 0))
			return fail(p, "a byte sequence that is not base64");
		unsigned bits = 0, have = 0;
		for (size_t i = from; i < end; i++) {
			int d = b64(c->s[i]);
			if (d < 0)
				return fail(p, "a byte sequence that is not base64");
			bits = (bits << 6) | static_cast<unsigned>(d);
			have += 6;
			if (have >= 8) {
				have -= 8;
				char b = static_cast<char>((bits >> have) & 0xff);
				jsonadd(&p->bytes, &b, 1);
			}
		}
		v->type = 'b';
	} else if (f == '?') {
		c->i++;
		if (peek(c) != '0' && peek(c) != '1')
			return fail(p, "a boolean that is neither ?0 nor ?1");
		v->num = peek(c) == '1';
		c->i++;
		v->type = '?';
	} else if (f == '@') {
		c->i++;
		if (!number(p, v))
			return false;
		if (v->type != 'i')
			return fail(p, "a date that is not an integer");
		v->type = '@';
	} else if (f == '%') {
		c->i++;
		if (peek(c) != '"')
			return fail(p, "a display string with no quote");
		for (c->i++;; c->i++) {
			if (!more(c))
				return fail(p, "a display string with no end");
			char b = peek(c);
			if (b == '"')
				break;
			if (b < 0x20 || b > 0x7e)
				return fail(p, "a byte in a display string that is not printable ASCII");
			if (b == '%') {
				const char *h = c->s + c->i + 1;
				if (c->n - c->i < 3 || !lowhex(h[0]) || !lowhex(h[1]))
					return fail(p, "a % in a display string not before two lower-case hex digits");
				b = static_cast<char>((digit(h[0]) ? h[0] - '0' : h[0] - 'a' + 10) * 16 +
						      (digit(h[1]) ? h[1] - '0' : h[1] - 'a' + 10));
				c->i += 2;
			}
			jsonadd(&p->bytes, &b, 1);
		}
		c->i++;
		for (size_t i = v->off, len = 0; i < p->bytes.n; i += len)
			if (utf8point(reinterpret_cast<const unsigned char *>(p->bytes.p + i), p->bytes.n - i, &len) < 0)
				return fail(p, "a display string that is not UTF-8");
		v->type = '%';
	} else {
		return fail(p, "no item where one must be");
	}
	v->len = p->bytes.n - v->off;
	return !p->bytes.bad || fail(p, "cannot allocate the field");
}

static bool samekey(const void *ctx, size_t a, size_t b)
{
	const sf *p = static_cast<const sf *>(ctx);
	const sfnode *x = &p->node[a], *y = &p->node[b];
	return x->owner == y->owner && x->keylen == y->keylen && samebytes(p->c.s + x->key, p->c.s + y->key, x->keylen);
}

// A name given twice: the later value, at the earlier's place. -1 where
// the name is new, -2 on failure, else the earlier node.
static long repeated(sf *p, size_t k)
{
	sfnode *v = &p->node[k];
	long was = nameadd(&p->keys, jsonhash(p->c.s + v->key, v->keylen, v->owner), k, samekey, p);
	if (was == -2)
		fail(p, "cannot allocate the field");
	return was;
}

static bool params(sf *p, size_t item)
{
	cur *c = &p->c;
	p->node[item].params = p->n;
	while (peek(c) == ';') {
		c->i++;
		while (peek(c) == ' ')
			c->i++;
		size_t k = newnode(p);
		if (k == nobody)
			return false;
		sfnode *v = &p->node[k];
		v->owner = item;
		if (!key(p, &v->key, &v->keylen))
			return false;
		v->type = '?';
		v->num = 1;
		if (peek(c) == '=') {
			c->i++;
			if (!bare(p, k))
				return false;
		}
		long was = repeated(p, k);
		if (was == -2)
			return false;
		if (was >= 0) {
			sfnode keep = p->node[k];
			keep.key = p->node[was].key;
			p->node[was] = keep;
			p->n--;
		}
	}
	p->node[item].nparams = p->n - p->node[item].params;
	return true;
}

static bool itemor(sf *p, size_t k)
{
	cur *c = &p->c;
	if (peek(c) != '(')
		return bare(p, k) && params(p, k);
	c->i++;
	p->node[k].type = '(';
	size_t last = nobody;
	for (;;) {
		while (peek(c) == ' ')
			c->i++;
		if (!more(c))
			return fail(p, "an inner list with no end");
		if (peek(c) == ')') {
			c->i++;
			return params(p, k);
		}
		size_t i = newnode(p);
		if (i == nobody || !bare(p, i) || !params(p, i))
			return false;
		if (last == nobody)
			p->node[k].first = i;
		else
			p->node[last].next = i;
		last = i;
		p->node[k].count++;
		if (peek(c) != ' ' && peek(c) != ')')
			return fail(p, "an inner list's items not parted by spaces");
	}
}

static bool member(sf *p, size_t k)
{
	size_t *top = static_cast<size_t *>(realloc(p->top, (p->ntop + 1) * sizeof *top));
	if (top == nullptr)
		return fail(p, "cannot allocate the field");
	p->top = top;
	p->node[k].pos = p->ntop;
	p->top[p->ntop++] = k;
	return true;
}

// The list's and the dictionary's members, parted by commas and OWS, no
// comma at the end.
static bool members(sf *p, bool dict)
{
	cur *c = &p->c;
	while (more(c)) {
		size_t k = newnode(p);
		if (k == nobody)
			return false;
		if (dict) {
			if (!key(p, &p->node[k].key, &p->node[k].keylen))
				return false;
			if (peek(c) == '=') {
				c->i++;
				if (!itemor(p, k))
					return false;
			} else {
				p->node[k].type = '?';
				p->node[k].num = 1;
				if (!params(p, k))
					return false;
			}
			long was = repeated(p, k);
			if (was == -2)
				return false;
			if (was >= 0)
				p->top[p->node[was].pos] = k;
			else if (!member(p, k))
				return false;
		} else if (!itemor(p, k) || !member(p, k)) {
			return false;
		}
		ows(c);
		if (!more(c))
			return true;
		if (peek(c) != ',')
			return fail(p, "members not parted by a comma");
		c->i++;
		ows(c);
		if (!more(c))
			return fail(p, "a comma at the end");
	}
	return true;
}

static const char *kindname(char t)
{
	switch (t) {
	case 'i':
		return "integer";
	case 'd':
		return "decimal";
	case 's':
		return "string";
	case 't':
		return "token";
	case 'b':
		return "binary";
	case '?':
		return "boolean";
	case '@':
		return "date";
	case '%':
		return "displaystring";
	default:
		return "innerlist";
	}
}

static void adds(jsonbuf *b, const char *s)
{
	jsonadd(b, s, strlen(s));
}

static void decimal(jsonbuf *b, const sfnode *v)
{
	char t[40];
	bool neg = v->num < 0 || v->frac < 0;
	size_t n = 0;
	if (neg)
		t[n++] = '-';
	n += numout(t + n, v->num < 0 ? -v->num : v->num);
	int f = v->frac < 0 ? -v->frac : v->frac;
	t[n++] = '.';
	t[n++] = static_cast<char>('0' + f / 100);
	t[n++] = static_cast<char>('0' + f / 10 % 10);
	t[n++] = static_cast<char>('0' + f % 10);
	while (t[n - 1] == '0' && t[n - 2] != '.')
		n--;
	jsonadd(b, t, n);
}

// Padded base64, as trust/ writes it.
static void base64(jsonbuf *b, const unsigned char *s, size_t n)
{
	char *to = jsongrow(b, baselen(base_64, n, true));
	if (to != nullptr)
		b->n += baseout(base_64, to, s, n, true);
}

// A bare item's value as a script takes it (plain), or as the field
// writes it.
static void value(const sf *p, const sfnode *v, jsonbuf *b, bool plain)
{
	char t[24];
	const char *s = p->bytes.p + v->off;
	switch (v->type) {
	case 'i':
	case '@':
		if (!plain && v->type == '@')
			jsonadd(b, "@", 1);
		jsonadd(b, t, numout(t, v->num));
		break;
	case 'd':
		decimal(b, v);
		break;
	case '?':
		adds(b, plain ? (v->num ? "1" : "0") : (v->num ? "?1" : "?0"));
		break;
	case 'b':
		if (!plain)
			jsonadd(b, ":", 1);
		base64(b, reinterpret_cast<const unsigned char *>(s), v->len);
		if (!plain)
			jsonadd(b, ":", 1);
		break;
	case '(':
		jsonadd(b, t, unsignedout(t, v->count));
		break;
	default:
		if (plain || v->type == 't') {
			jsonadd(b, s, v->len);
		} else if (v->type == 's') {
			jsonadd(b, "\"", 1);
			for (size_t i = 0; i < v->len; i++) {
				if (s[i] == '"' || s[i] == '\\')
					jsonadd(b, "\\", 1);
				jsonadd(b, s + i, 1);
			}
			jsonadd(b, "\"", 1);
		} else {
			jsonadd(b, "%\"", 2);
			for (size_t i = 0; i < v->len; i++) {
				unsigned char u = static_cast<unsigned char>(s[i]);
				if (u == '%' || u == '"' || u < 0x20 || u > 0x7e) {
					t[0] = '%', t[1] = "0123456789abcdef"[u >> 4], t[2] = "0123456789abcdef"[u & 15];
					jsonadd(b, t, 3);
				} else {
					jsonadd(b, s + i, 1);
				}
			}
			jsonadd(b, "\"", 1);
		}
	}
}

static void canonparams(const sf *p, const sfnode *v, jsonbuf *b)
{
	for (size_t i = 0; i < v->nparams; i++) {
		const sfnode *q = &p->node[v->params + i];
		jsonadd(b, ";", 1);
		jsonadd(b, p->c.s + q->key, q->keylen);
		if (q->type != '?' || q->num == 0) {
			jsonadd(b, "=", 1);
			value(p, q, b, false);
		}
	}
}

static void canon(const sf *p, const sfnode *v, jsonbuf *b)
{
	if (v->type == '(') {
		jsonadd(b, "(", 1);
		for (size_t i = v->first, k = 0; k < v->count; i = p->node[i].next, k++) {
			if (k > 0)
				jsonadd(b, " ", 1);
			canon(p, &p->node[i], b);
		}
		jsonadd(b, ")", 1);
	} else {
		value(p, v, b, false);
	}
	canonparams(p, v, b);
}

// A value and its parameters into o, under path.
static void paths(const sf *p, const sfnode *v, jsonbuf *path, jsonbuf *b, httpout *o)
{
	size_t at = path->n;
	b->n = 0;
	value(p, v, b, true);
	httpput(o, path->p, path->n, b->p != nullptr ? b->p : "", b->n, kindname(v->type));
	for (size_t i = 0; i < v->nparams; i++) {
		const sfnode *q = &p->node[v->params + i];
		jsonadd(path, "/;", 2);
		jsonadd(path, p->c.s + q->key, q->keylen);
		b->n = 0;
		value(p, q, b, true);
		httpput(o, path->p, path->n, b->p != nullptr ? b->p : "", b->n, kindname(q->type));
		path->n = at;
	}
	if (v->type == '(') {
		char t[24];
		for (size_t i = v->first, k = 0; k < v->count; i = p->node[i].next, k++) {
			t[0] = '/';
			jsonadd(path, t, 1 + unsignedout(t + 1, k));
			paths(p, &p->node[i], path, b, o);
			path->n = at;
		}
	}
}

static const char *sfread(const char *s, size_t n, char kind, httpout *o)
{
	sf p = {};
	p.c = {s, 0, n};
	for (size_t i = 0; i < n; i++)
		if (static_cast<unsigned char>(s[i]) >= 0x80)
			return "a structured field that is not ASCII";
	while (peek(&p.c) == ' ')
		p.c.i++;
	if (kind == 'i') {
		size_t k = newnode(&p);
		if (k != nobody && bare(&p, k) && params(&p, k))
			member(&p, k);
	} else {
		members(&p, kind == 'd');
	}
	while (p.why == nullptr && peek(&p.c) == ' ')
		p.c.i++;
	if (p.why == nullptr && more(&p.c))
		fail(&p, "more after the field's end");
	jsonbuf b = {}, path = {}, v = {};
	for (size_t m = 0; p.why == nullptr && m < p.ntop; m++) {
		const sfnode *t = &p.node[p.top[m]];
		if (m > 0)
			jsonadd(&b, ", ", 2);
		if (kind == 'd') {
			jsonadd(&b, s + t->key, t->keylen);
			if (t->type == '?' && t->num == 1)
				canonparams(&p, t, &b);
			else {
				jsonadd(&b, "=", 1);
				canon(&p, t, &b);
			}
		} else {
			canon(&p, t, &b);
		}
	}
	if (p.why == nullptr)
		httpput(o, "", 0, b.p != nullptr ? b.p : "", b.n, kind == 'i' ? "item" : kind == 'd' ? "dictionary" : "list");
	for (size_t m = 0; p.why == nullptr && m < p.ntop; m++) {
		const sfnode *t = &p.node[p.top[m]];
		path.n = 0;
		if (kind == 'd') {
			jsonadd(&path, s + t->key, t->keylen);
		} else {
			char d[24];
			jsonadd(&path, d, unsignedout(d, m));
		}
		paths(&p, t, &path, &v, o);
	}
	if (p.why == nullptr && (b.bad || path.bad || v.bad || o->bad || p.bytes.bad))
		p.why = "cannot allocate the field";
	jsonfree(&b);
	jsonfree(&path);
	jsonfree(&v);
	jsonfree(&p.bytes);
	free(p.node);
	free(p.top);
	namefree(&p.keys);
	return p.why;
}

const char *sfitem(const char *s, size_t n, const fieldjob *, httpout *o)
{
	return sfread(s, n, 'i', o);
}

const char *sflist(const char *s, size_t n, const fieldjob *, httpout *o)
{
	return sfread(s, n, 'l', o);
}

const char *sfdict(const char *s, size_t n, const fieldjob *, httpout *o)
{
	return sfread(s, n, 'd', o);
}

fieldreader *fieldnamed(const char *name)
{
	static const struct {
		const char *name;
		fieldreader *read;
	} all[] = {
		{"link", linkread}, {"date", dateread}, {"retry-after", retryread}, {"disposition", dispread},
		{"auth", authread}, {"sf-item", sfitem}, {"sf-list", sflist}, {"sf-dict", sfdict},
	};
	for (const auto &a : all)
		if (samestr(a.name, name))
			return a.read;
	return nullptr;
}
