// A response's head, as curl -D FILE or curl -i writes it: one head after
// another (a 100 Continue, each redirect that -L followed, the final
// response), each a status line, field lines, and an empty line; with -i,
// the body after the last. Lines end in CRLF or a bare LF.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "http.h"
#include "intern.h"
#include "text.h"

static char said[160];

// "WHAT N WHY": a limit passed and how to raise it, or where a fault is.
static const char *limited(const char *what, size_t n, const char *why)
{
	said[0] = '\0';
	textcat(said, sizeof said, what);
	textcatnum(said, sizeof said, n);
	textcat(said, sizeof said, why);
	return said;
}

static const char *at(size_t line, const char *what)
{
	limited("line ", line, ": ");
	textcat(said, sizeof said, what);
	return said;
}


// HTTP/1.x's "HTTP/" DIGIT "." DIGIT, and curl's "HTTP/2" and "HTTP/3",
// a space, three digits, and a space and a reason, which may be empty or
// missing.
static const char *statusline(const char *s, size_t n, httpout *o)
{
	size_t v = 5;
	if (n < 5 || !samebytes(s, "HTTP/", 5))
		return "no status line: the input is not a response's head";
	if (v < n && s[v] >= '0' && s[v] <= '9')
		v++;
	else
		return at(1, "no version in the status line");
	if (v + 1 < n && s[v] == '.' && s[v + 1] >= '0' && s[v + 1] <= '9')
		v += 2;
	if (v + 4 > n || s[v] != ' ' || s[v + 1] < '0' || s[v + 1] > '9' || s[v + 2] < '0' || s[v + 2] > '9' ||
	    s[v + 3] < '0' || s[v + 3] > '9')
		return at(1, "no status code of three digits after the version");
	// RFC 9110 section 15: every valid code is from 100 to 599.
	if (s[v + 1] < '1' || s[v + 1] > '5')
		return at(1, "a status code outside 100 to 599");
	size_t r = v + 4;
	if (r < n && s[r] != ' ')
		return at(1, "no space after the status code");
	for (size_t i = r; i < n; i++)
		if (!valuebyte(static_cast<unsigned char>(s[i])))
			return at(1, "a control character in the reason");
	httpput(o, ":status", 7, s + v + 1, 3, nullptr);
	httpput(o, ":reason", 7, r < n ? s + r + 1 : "", r < n ? n - r - 1 : 0, nullptr);
	httpput(o, ":version", 8, s, v, nullptr);
	return nullptr;
}

struct span {
	const char *p;
	size_t n;
};

struct fields {
	span *name, *value;
	size_t *next, *last;
	size_t n;
};

static bool samefield(const void *ctx, size_t a, size_t b)
{
	const fields *f = static_cast<const fields *>(ctx);
	return f->name[a].n == f->name[b].n && samebytes(f->name[a].p, f->name[b].p, f->name[a].n);
}

// Each line of the head is checked and written again over itself,
// compacted: the name lower-cased, the value without its blanks around
// it, a folded line joined to the one before by a space. What is written
// never passes what is still to be read.
static const char *fieldlines(char *h, size_t n, size_t first, const headlimits *lim, fields *f)
{
	char *w = h + first;
	size_t line = 1;
	for (size_t r = first; r < n; line++) {
		const char *lf = findbyte(h + r, n - r, '\n');
		size_t e = lf != nullptr ? static_cast<size_t>(lf - h) : n;
		size_t end = e > r && h[e - 1] == '\r' ? e - 1 : e;
		size_t next = e + 1;
		if (end == r)
			return nullptr;	// the empty line that ends the head
		if (blank(h[r])) {
			if (lim->strict)
				return at(line + 1, "a line folded onto the one before (obs-fold)");
			if (f->n == 0)
				return at(line + 1, "a line that begins with a blank before any field");
			while (r < end && blank(h[r]))
				r++;
			while (end > r && blank(h[end - 1]))
				end--;
			span *v = &f->value[f->n - 1];
			size_t bad = r + valuebad(h + r, end - r);
			if (bad < end)
				return at(line + 1, h[bad] == '\r' ? "a CR that ends no line" : "a control character in a field's value");
			if (end > r) {
				// The value so far ends at w: it was the last written.
				*w++ = ' ';
				movedown(w, h + r, end - r);
				w += end - r;
				v->n = static_cast<size_t>(w - v->p);
			}
			r = next;
			continue;
		}
		size_t c = r;
		while (c < end && tchar(static_cast<unsigned char>(h[c])))
			c++;
		if (c == end)
			return at(line + 1, "a field line with no colon");
		size_t colon = c;
		while (colon < end && blank(h[colon]))
			colon++;
		if (h[c] == '\r')
			return at(line + 1, "a CR that ends no line");
		if (c > r && colon > c && colon < end && h[colon] == ':')
			return at(line + 1, "whitespace between a field's name and its colon");
		if (h[c] != ':' || c == r)
			return at(line + 1, "a field name that is not a token");
		if (f->n == lim->fields)
			return limited("more than ", lim->fields, " fields in a head (-F raises it)");
		size_t vs = c + 1;
		while (vs < end && blank(h[vs]))
			vs++;
		while (end > vs && blank(h[end - 1]))
			end--;
		size_t bad = vs + valuebad(h + vs, end - vs);
		if (bad < end)
			return at(line + 1, h[bad] == '\r' ? "a CR that ends no line" : "a control character in a field's value");
		span *nm = &f->name[f->n], *v = &f->value[f->n];
		nm->p = w;
		nm->n = c - r;
		for (size_t i = r; i < c; i++)
			*w++ = lower(h[i]);
		movedown(w, h + vs, end - vs);
		v->p = w;
		v->n = end - vs;
		w += end - vs;
		f->n++;
		r = next;
	}
	return at(line, "the head has no empty line at its end");
}

static bool iscookie(const span *name)
{
	return name->n == 10 && samebytes(name->p, "set-cookie", 10);
}

// One head, of n bytes, the empty line that ends it included: its pairs
// into o, in place of the last head's.
static const char *headone(char *h, size_t n, const headlimits *lim, httpout *o)
{
	httpclear(o);
	const char *lf = findbyte(h, n, '\n');
	size_t e = lf != nullptr ? static_cast<size_t>(lf - h) : n;
	size_t end = e > 0 && h[e - 1] == '\r' ? e - 1 : e;
	if (findbyte(h, end, '\r') != nullptr)
		return at(1, "a CR that ends no line");
	const char *why = statusline(h, end, o);
	if (why != nullptr)
		return why;
	size_t most = n / 2 + 1;	// a field line holds a colon and a LF
	if (most > lim->fields)
		most = lim->fields;
	fields f = {};
	char *block = static_cast<char *>(malloc(most * (2 * sizeof(span) + 2 * sizeof(size_t))));
	nameset names = {};
	if (block == nullptr) {
		why = "cannot allocate the head's fields";
	} else {
		f.name = reinterpret_cast<span *>(block);
		f.value = f.name + most;
		f.next = reinterpret_cast<size_t *>(f.value + most);
		f.last = f.next + most;
		why = fieldlines(h, n, e + 1, lim, &f);
		// Each pair's bytes are the head's, less what it was cut of, but
		// for the ", " that join a field's lines, one a line at most.
		if (why == nullptr)
			httpreserve(o, f.n, n + 4 * f.n);
	}
	// Each name once, at its first line, with the values of all its lines;
	// Set-Cookie lines each alone, as a cookie's value holds commas. A
	// head's few names are told apart by comparing them; past 32 lines, by
	// a set keyed as the sender cannot foresee.
	static const uint64_t seed = 0x68656164;
	const size_t none = ~static_cast<size_t>(0);
	for (size_t i = 0; why == nullptr && i < f.n; i++) {
		f.next[i] = f.last[i] = i;
		if (iscookie(&f.name[i]))
			continue;
		long first = -1;
		if (f.n <= 32) {
			// The length and the last byte tell most names apart.
			const span *ni = &f.name[i];
			for (size_t k = 0; k < i && first < 0; k++)
				if (f.last[k] != none && f.name[k].n == ni->n && f.name[k].p[ni->n - 1] == ni->p[ni->n - 1] &&
				    samefield(&f, k, i))
					first = static_cast<long>(k);
		} else {
			first = nameadd(&names, jsonhash(f.name[i].p, f.name[i].n, seed), i, samefield, &f);
		}
		if (first == -2) {
			why = "cannot allocate the head's fields";
		} else if (first >= 0) {
			size_t k = static_cast<size_t>(first);
			f.next[f.last[k]] = i;
			f.last[k] = i;
			f.last[i] = none;	// not a first line
		}
	}
	jsonbuf joined = {};
	for (size_t i = 0; why == nullptr && i < f.n; i++) {
		if (f.last[i] == none)
			continue;
		bool cookie = iscookie(&f.name[i]);
		if (cookie || f.last[i] == i) {
			httpput(o, f.name[i].p, f.name[i].n, f.value[i].p, f.value[i].n, cookie ? "cookie" : nullptr);
			continue;
		}
		joined.n = 0;
		for (size_t k = i;; k = f.next[k]) {
			if (k != i)
				jsonadd(&joined, ", ", 2);
			jsonadd(&joined, f.value[k].p, f.value[k].n);
			if (k == f.last[i])
				break;
		}
		if (joined.bad)
			why = "cannot allocate the head's fields";
		else
			httpput(o, f.name[i].p, f.name[i].n, joined.p, joined.n, nullptr);
	}
	if (why == nullptr && o->bad)
		why = "cannot allocate the head's fields";
	jsonfree(&joined);
	namefree(&names);
	free(block);
	return why;
}

// Where the head that begins the n bytes at s ends, past its empty line,
// the scan resumed at *from (a line's start); 0 where it is not all there.
static size_t headend(const char *s, size_t n, size_t *from)
{
	for (size_t r = *from; r < n;) {
		const char *lf = findbyte(s + r, n - r, '\n');
		if (lf == nullptr)
			break;
		size_t e = static_cast<size_t>(lf - s);
		if (r > 0 && (e == r || (e == r + 1 && s[r] == '\r')))
			return e + 1;
		r = e + 1;
		*from = r;
	}
	return 0;
}

static bool ishead(const char *s, size_t n)
{
	return n >= 5 && samebytes(s, "HTTP/", 5);
}

static ssize_t readfd(int fd, char *buf, size_t len)
{
	return read(fd, buf, len);
}

const char *headread(int fd, ssize_t (*rd)(int, char *, size_t), const headlimits *lim, httpout *o)
{
	if (rd == nullptr)
		rd = readfd;
	// Room for a head at its limit and a read beyond it: one head is held
	// at a time, and what follows the last is read into it and dropped.
	size_t cap = (lim->bytes < (1u << 30) ? lim->bytes : (1u << 30)) + 4096;
	char *buf = static_cast<char *>(malloc(cap));
	if (buf == nullptr)
		return "cannot allocate the head";
	size_t n = 0, from = 0;
	bool eof = false, heads = false, body = false;
	const char *why = nullptr;
	while (why == nullptr) {
		if (body) {
			n = 0;	// curl -i's body, read and dropped
			if (eof)
				break;
		} else if ((n >= 5 || eof) && !ishead(buf, n)) {
			// What follows a head is another, or the body; the input
			// begins with one.
			if (heads) {
				body = true;
				continue;
			}
			why = n == 0 ? "no head in the input" : "no status line: the input is not a response's head";
			break;
		} else {
			// Here what there is begins a head, or is too short to tell.
			size_t e = n < 5 ? 0 : headend(buf, n, &from);
			if (e > lim->bytes || (e == 0 && n > lim->bytes)) {
				why = limited("a head of more than ", lim->bytes, " bytes (-m raises it)");
				break;
			}
			if (e > 0) {
				why = headone(buf, e, lim, o);
				heads = true;
				movedown(buf, buf + e, n - e);
				n -= e;
				from = 0;
				continue;
			}
			if (eof) {
				why = "the input ends inside a head, before its empty line";
				break;
			}
		}
		ssize_t got = rd(fd, buf + n, cap - n);
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0)
			why = strerror(errno);
		else if (got == 0)
			eof = true;
		else
			n += static_cast<size_t>(got);
	}
	free(buf);
	return why;
}

const char *headmem(const char *s, size_t n, const headlimits *lim, httpout *o)
{
	// A copy to work in, as the head is edited in place; each head's
	// limit holds as it does for a stream.
	char *buf = static_cast<char *>(malloc(n + 1));
	if (buf == nullptr)
		return "cannot allocate the head";
	if (n > 0)
		memcpy(buf, s, n);
	buf[n] = '\0';	// no byte unset, even of an empty input
	size_t r = 0;
	const char *why = nullptr;
	bool heads = false;
	while (why == nullptr) {
		if (heads && !ishead(buf + r, n - r))
			break;
		size_t from = 0, e = headend(buf + r, n - r, &from);
		if (!ishead(buf + r, n - r)) {
			why = n == 0 ? "no head in the input" : "no status line: the input is not a response's head";
		} else if (e > lim->bytes || (e == 0 && n - r > lim->bytes)) {
			why = limited("a head of more than ", lim->bytes, " bytes (-m raises it)");
		} else if (e == 0) {
			why = "the input ends inside a head, before its empty line";
		} else {
			why = headone(buf + r, e, lim, o);
			heads = true;
			r += e;
		}
	}
	free(buf);
	return why;
}
