// multipart/form-data, read as a stream. The body is taken as if it began
// with CRLF, so that its first delimiter, which may open it with no CRLF
// before, is found like every other: CRLF, "--" and the boundary.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "multipart.h"

static ssize_t plainread(int fd, char *buf, size_t len)
{
	return read(fd, buf, len);
}

static bool blank(char c)
{
	return c == ' ' || c == '\t';
}

// ASCII only: a header's names are matched in any case, whatever the
// locale.
static char lower(char c)
{
	return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

static bool sameword(const char *s, size_t n, const char *word)
{
	size_t i = 0;

	for (; i < n && word[i] != '\0'; i++)
		if (lower(s[i]) != word[i])
			return false;
	return i == n && word[i] == '\0';
}

// A token, as RFC 2045 has it: ASCII but controls, space and tspecials.
static bool tokenchar(char c)
{
	unsigned char u = static_cast<unsigned char>(c);
	return u > 0x20 && u < 0x7F && strchr("()<>@,;:\\\"/[]?=", u) == nullptr;
}

static const char *token(const char *s, const char *end)
{
	while (s < end && tokenchar(*s))
		s++;
	return s;
}

static const char *skipblanks(const char *s, const char *end)
{
	while (s < end && blank(*s))
		s++;
	return s;
}

// The next parameter of a header's value, from *s to end, by the grammar
// OWS ";" OWS token "=" ( token / quoted-string ), with nothing but blanks
// after the last. A quoted string holds any byte but a quote, a backslash
// and the controls, and keeps them as they stand. Browsers write no
// backslash escapes (they send a quote in a name as "%22"), but readers
// differ on a backslash: one takes "a\b" as it stands, another as "ab",
// and one takes "a\"; filename="x" as the name a", with no file, where
// another sees the name a\ and a file. So a quote always ends the
// string, and a backslash in one is refused. Returns 1 with the key and
// value, 0 at the end, or -1 with what is wrong.
static int nextparam(const char **s, const char *end, const char **k, size_t *klen,
		     const char **v, size_t *vlen, const char **why)
{
	const char *p = skipblanks(*s, end);
	if (p == end)
		return 0;
	if (*p != ';') {
		*why = "bytes after a parameter's value";
		return -1;
	}
	p = skipblanks(p + 1, end);
	if (p == end) {
		*why = "a ';' with no parameter after it";
		return -1;
	}
	*k = p;
	p = token(p, end);
	*klen = static_cast<size_t>(p - *k);
	if (*klen == 0 || p == end || *p != '=') {
		*why = "a parameter that is not name=value";
		return -1;
	}
	p++;
	if (p < end && *p == '"') {
		*v = ++p;
		while (p < end && *p != '"') {
			unsigned char u = static_cast<unsigned char>(*p++);
			if ((u < 0x20 && u != '\t') || u == 0x7F) {
				*why = "a control byte in a quoted string";
				return -1;
			}
			if (u == '\\') {
				*why = "a backslash in a quoted string, which readers take as an escape or as a byte";
				return -1;
			}
		}
		if (p == end) {
			*why = "a quoted string with no closing quote";
			return -1;
		}
		*vlen = static_cast<size_t>(p++ - *v);
	} else {
		*v = p;
		p = token(p, end);
		*vlen = static_cast<size_t>(p - *v);
		if (*vlen == 0) {
			*why = "a value that is neither a token nor a quoted string";
			return -1;
		}
	}
	*s = p;
	return 1;
}

// A header's value, "type; k1=v1; k2="v 2"" from s to end, blanks allowed
// at its ends: its type must be the one given, in any case, and the
// parameters in keys are taken, each at most once, into vals and lens (a
// null value where it is not given); any other is checked and passed
// over. One given in RFC 2231's extended form (key*), which careful
// readers decode and others ignore, is refused. Returns null, or what is
// wrong, in f's message buffer, as what says.
static const char *params(form *f, const char *what, const char *s, const char *end,
			  const char *type, const char *const keys[], const char *vals[],
			  size_t lens[])
{
	const char *why = nullptr;
	s = skipblanks(s, end);
	const char *t = token(s, end);
	if (t < end && *t == '/' && strchr(type, '/') != nullptr)
		t = token(t + 1, end);
	if (!sameword(s, static_cast<size_t>(t - s), type)) {
		snprintf(f->msg, sizeof f->msg, "%s is not %s", what, type);
		return f->msg;
	}
	const char *p = skipblanks(t, end);
	if (p < end && *p != ';') {
		snprintf(f->msg, sizeof f->msg, "%s: bytes after its type", what);
		return f->msg;
	}
	for (size_t i = 0; keys[i] != nullptr; i++)
		vals[i] = nullptr;
	const char *k, *v;
	size_t klen, vlen;
	int r;
	while ((r = nextparam(&t, end, &k, &klen, &v, &vlen, &why)) > 0) {
		if (memchr(k, '*', klen) != nullptr) {
			if (sameword(k, klen, "filename*"))
				why = "RFC 7578 forbids filename*";
			else
				snprintf(f->msg, sizeof f->msg, "%s has %.*s, an RFC 2231 parameter",
					 what, static_cast<int>(klen < 40 ? klen : 40), k);
			return why != nullptr ? why : f->msg;
		}
		for (size_t i = 0; keys[i] != nullptr; i++) {
			if (!sameword(k, klen, keys[i]))
				continue;
			if (vals[i] != nullptr) {
				snprintf(f->msg, sizeof f->msg, "%s gives %s twice", what, keys[i]);
				return f->msg;
			}
			vals[i] = v;
			lens[i] = vlen;
		}
	}
	if (r == 0)
		return nullptr;
	snprintf(f->msg, sizeof f->msg, "%s: %s", what, why);
	return f->msg;
}

// Moves what is left to the front and reads more, never past the body's
// length. Returns the bytes read, 0 at the body's end or when the window
// is full, or -1 with *why set.
static ssize_t fill(form *f, const char **why)
{
	if (f->start > 0) {
		memmove(f->buf, f->buf + f->start, f->end - f->start);
		f->end -= f->start;
		f->start = 0;
	}
	size_t room = bufsize - f->end;
	if (room > f->left)
		room = static_cast<size_t>(f->left);
	if (room == 0)
		return 0;
	ssize_t n;
	do
		n = f->rd(f->fd, f->buf + f->end, room);
	while (n < 0 && errno == EINTR);
	if (n < 0) {
		*why = strerror(errno);
		return -1;
	}
	if (n == 0) {
		*why = "the body is shorter than CONTENT_LENGTH";
		return -1;
	}
	f->end += static_cast<size_t>(n);
	f->left -= static_cast<unsigned long long>(n);
	return n;
}

// At least n bytes in the window, or false: at the body's end, with *why
// set by fill or to what the caller says.
static bool need(form *f, size_t n, const char **why, const char *short_)
{
	while (f->end - f->start < n) {
		ssize_t r = f->left == 0 ? 0 : fill(f, why);
		if (r < 0)
			return false;
		if (r == 0) {
			*why = short_;
			return false;
		}
	}
	return true;
}

const char *formbegin(form *f, int fd, reader *rd, const char *length, const char *type,
		      unsigned long long limit)
{
	f->fd = fd;
	f->rd = rd != nullptr ? rd : plainread;
	f->inpart = f->taken = f->done = false;
	f->kind = formnone;
	if (length == nullptr || *length == '\0')
		return "no CONTENT_LENGTH";
	size_t digits = strspn(length, "0123456789");
	if (length[digits] != '\0')
		return "CONTENT_LENGTH is not a number";
	length += strspn(length, "0");
	if (strlen(length) > 18)
		return "CONTENT_LENGTH is over the limit";
	f->left = 0;
	for (; *length != '\0'; length++)
		f->left = f->left * 10 + static_cast<unsigned>(*length - '0');
	if (f->left > limit)
		return "CONTENT_LENGTH is over the limit";
	return formtype(f, type);
}

const char *formtype(form *f, const char *type)
{
	static const char notform[] =
		"CONTENT_TYPE is not multipart/form-data, application/x-www-form-urlencoded or application/json";
	f->kind = formunknown;
	if (type == nullptr)
		return notform;
	// A form with no file input may come as one string of fields, its type
	// with any parameter or none; a JSON text in UTF-8, with a charset that
	// says so or none.
	const char *end = type + strlen(type), *t = skipblanks(type, end), *slash = token(t, end);
	size_t tlen = slash < end && *slash == '/' ? static_cast<size_t>(token(slash + 1, end) - t) : 0;
	if (sameword(t, tlen, "application/x-www-form-urlencoded")) {
		static const char *const none[] = {nullptr};
		f->kind = formfields;
		return params(f, "CONTENT_TYPE", type, end, "application/x-www-form-urlencoded", none,
			      nullptr, nullptr);
	}
	if (sameword(t, tlen, "application/json")) {
		static const char *const charset[] = {"charset", nullptr};
		const char *c;
		size_t n;
		f->kind = formjson;
		const char *why = params(f, "CONTENT_TYPE", type, end, "application/json", charset, &c, &n);
		if (why == nullptr && c != nullptr && !sameword(c, n, "utf-8"))
			why = "CONTENT_TYPE: a JSON text in a charset other than UTF-8";
		return why;
	}
	static const char *const keys[] = {"boundary", nullptr};
	const char *b;
	size_t n;
	if (!sameword(t, tlen, "multipart/form-data"))
		return notform;
	f->kind = formparts;
	const char *why = params(f, "CONTENT_TYPE", type, end, "multipart/form-data", keys, &b, &n);
	if (why != nullptr)
		return why;
	if (b == nullptr || n == 0 || n > boundsize)
		return "CONTENT_TYPE has no boundary of 1 to 70 characters";
	// RFC 2046's bchars, the last not a space.
	if (strspn(b, "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ'()+_,-./:=? ") < n ||
	    b[n - 1] == ' ')
		return "CONTENT_TYPE's boundary holds a byte that RFC 2046 does not allow";
	memcpy(f->delim, "\r\n--", 4);
	memcpy(f->delim + 4, b, n);
	f->dlen = n + 4;

	// The CRLF that the body is taken to begin with.
	f->buf[0] = '\r';
	f->buf[1] = '\n';
	f->start = 0;
	f->end = 2;
	return nullptr;
}

// Finds the next delimiter, handing out each piece before it (to the
// content, or to be dropped) as it goes. A delimiter may begin in the
// window's last dlen - 1 bytes, so those stay until more is read; every
// other byte is searched at most twice, and glibc's memmem is linear.
// Returns the piece's length, or 0 with the delimiter taken, or -1.
static ssize_t upto(form *f, const char **data, const char **why)
{
	for (;;) {
		const char *at = f->buf + f->start;
		size_t have = f->end - f->start;
		const char *d = static_cast<const char *>(memmem(at, have, f->delim, f->dlen));
		size_t n = d != nullptr ? static_cast<size_t>(d - at) :
			   have >= f->dlen ? have - (f->dlen - 1) : 0;
		if (n > 0 || d != nullptr) {
			*data = at;
			f->start += n + (n == 0 ? f->dlen : 0);
			return static_cast<ssize_t>(n);
		}
		ssize_t r = f->left == 0 ? 0 : fill(f, why);
		if (r < 0)
			return -1;
		if (r == 0) {
			*why = "the body has no closing delimiter";
			return -1;
		}
	}
}

// One header line, "Name: value" from s to end, with no NUL byte and no
// CR or LF, since the lines are split at CRLF alone and a reader that
// splits at a bare one would see other headers; its name is a token, so
// "Name :" and a folded line are malformed. The name and filename are
// kept from the part's Content-Disposition, which may come once: readers
// differ on which of two they take.
static const char *header(form *f, const char *s, const char *end, const char **name,
			  const char **filename)
{
	size_t len = static_cast<size_t>(end - s);
	if (memchr(s, '\0', len) != nullptr)
		return "a NUL byte in a part's headers";
	if (memchr(s, '\r', len) != nullptr || memchr(s, '\n', len) != nullptr)
		return "a bare CR or LF in a part's headers";
	const char *colon = token(s, end);
	if (colon == s || colon == end || *colon != ':')
		return "a part's headers are malformed";
	if (!sameword(s, static_cast<size_t>(colon - s), "content-disposition"))
		return nullptr;
	if (*name != nullptr)
		return "a part has two Content-Disposition headers";
	static const char *const keys[] = {"name", "filename", nullptr};
	const char *vals[2];
	size_t lens[2];
	const char *why = params(f, "a part's Content-Disposition", colon + 1, end, "form-data",
				 keys, vals, lens);
	if (why != nullptr)
		return why;
	if (vals[0] == nullptr || lens[0] == 0)
		return "a part has no name";
	// Both fit: the headers, and so these, are shorter than head.
	char *h = f->head;
	*name = static_cast<const char *>(memcpy(h, vals[0], lens[0]));
	h[lens[0]] = '\0';
	*filename = nullptr;
	if (vals[1] != nullptr) {
		h += lens[0] + 1;
		*filename = static_cast<const char *>(memcpy(h, vals[1], lens[1]));
		h[lens[1]] = '\0';
	}
	return nullptr;
}

int formpart(form *f, const char **name, const char **filename, const char **why)
{
	const char *data;
	ssize_t n;

	if (f->done)
		return 0;
	// Whatever is left of the part, or the preamble, up to the delimiter.
	while (!f->taken && (n = upto(f, &data, why)) != 0)
		if (n < 0)
			return -1;
	f->inpart = f->taken = false;
	if (!need(f, 2, why, "the body ends after a delimiter"))
		return -1;
	if (memcmp(f->buf + f->start, "--", 2) == 0) {
		// The close delimiter: the epilogue is read and dropped.
		f->done = true;
		f->start = f->end = 0;
		while (f->left > 0)
			if (fill(f, why) < 0)
				return -1;
			else
				f->start = f->end = 0;
		return 0;
	}
	// Transport padding, then CRLF.
	for (;;) {
		if (!need(f, 1, why, "the body ends after a delimiter"))
			return -1;
		if (!blank(f->buf[f->start]))
			break;
		f->start++;
	}
	if (!need(f, 2, why, "the body ends after a delimiter"))
		return -1;
	if (memcmp(f->buf + f->start, "\r\n", 2) != 0) {
		*why = "a delimiter is not followed by CRLF";
		return -1;
	}
	f->start += 2;

	// The headers, up to an empty line, all in the window at once.
	const char *end;
	for (;;) {
		const char *at = f->buf + f->start;
		size_t have = f->end - f->start;
		if (have >= 2 && memcmp(at, "\r\n", 2) == 0) {
			end = at;	// no headers at all
			break;
		}
		end = static_cast<const char *>(memmem(at, have, "\r\n\r\n", 4));
		if (end != nullptr)
			break;
		if (have >= headsize) {
			*why = "a part's headers are too long";
			return -1;
		}
		if (!need(f, have + 1, why, "the body ends in a part's headers"))
			return -1;
	}
	if (end - (f->buf + f->start) >= headsize) {
		*why = "a part's headers are too long";
		return -1;
	}
	*name = nullptr;
	for (const char *s = f->buf + f->start; s < end;) {
		const char *eol = static_cast<const char *>(memmem(s, static_cast<size_t>(end - s), "\r\n", 2));
		if (eol == nullptr)
			eol = end;
		const char *bad = header(f, s, eol, name, filename);
		if (bad != nullptr) {
			*why = bad;
			return -1;
		}
		s = eol + 2;
	}
	if (*name == nullptr) {
		*why = "a part has no name";
		return -1;
	}
	// The empty line's CRLF may also begin the delimiter, as RFC 2046
	// reads it, which makes the part empty; but a reader that takes the
	// line for the headers' own sees the part go on over the delimiter and
	// the next part's headers, and the next part vanish. An empty part has
	// a CRLF of its own before the delimiter; one without is refused.
	f->start = static_cast<size_t>(end - f->buf) + 2;
	if (!need(f, f->dlen, why, "the body has no closing delimiter"))
		return -1;
	if (memcmp(f->buf + f->start, f->delim, f->dlen) == 0) {
		*why = "a part's headers run straight into the delimiter, with no CRLF of their own before it";
		return -1;
	}
	f->start += 2;
	f->inpart = true;
	return 1;
}

unsigned long long formsize(const form *f)
{
	return f->left;
}

bool formall(form *f, char *buf, const char **why)
{
	for (size_t got = 0, n = static_cast<size_t>(f->left); got < n;) {
		ssize_t r;
		do
			r = f->rd(f->fd, buf + got, n - got);
		while (r < 0 && errno == EINTR);
		if (r <= 0) {
			*why = r < 0 ? strerror(errno) : "the body is shorter than CONTENT_LENGTH";
			return false;
		}
		got += static_cast<size_t>(r);
	}
	f->left = 0;
	return true;
}

ssize_t formpiece(form *f, const char **data, const char **why)
{
	if (!f->inpart)
		return 0;
	ssize_t n = upto(f, data, why);
	if (n == 0) {
		f->inpart = false;
		f->taken = true;
	}
	return n;
}
