// multipart/form-data, read as a stream. The body is taken as if it began
// with CRLF, so that its first delimiter, which may open it with no CRLF
// before, is found like every other: CRLF, "--" and the boundary.
#include <cerrno>
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

// The value of the parameter key in "type; k1=v1; k2="v 2"" from s to end:
// a token up to the next ';' or blank, or a quoted string up to the next
// quote, taken as it stands, as browsers write no backslash escapes (they
// send a quote in a name as "%22"). Null where there is none, or where the
// parameters are malformed.
static const char *param(const char *s, const char *end, const char *key, size_t *len)
{
	s = static_cast<const char *>(memchr(s, ';', static_cast<size_t>(end - s)));
	while (s != nullptr && s < end) {
		s++;
		while (s < end && blank(*s))
			s++;
		const char *k = s;
		while (s < end && *s != '=' && *s != ';' && !blank(*s))
			s++;
		if (s == end || *s != '=')
			return nullptr;
		bool match = sameword(k, static_cast<size_t>(s - k), key);
		const char *v = ++s;
		if (s < end && *s == '"') {
			v++;
			const char *q = static_cast<const char *>(memchr(v, '"', static_cast<size_t>(end - v)));
			if (q == nullptr)
				return nullptr;
			s = q + 1;
			*len = static_cast<size_t>(q - v);
		} else {
			while (s < end && *s != ';' && !blank(*s))
				s++;
			*len = static_cast<size_t>(s - v);
		}
		if (match)
			return v;
		while (s < end && blank(*s))
			s++;
		if (s < end && *s != ';')
			return nullptr;
	}
	return nullptr;
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

	const char *end = type != nullptr ? type + strlen(type) : nullptr;
	size_t n = type != nullptr ? strcspn(type, ";") : 0;
	while (n > 0 && blank(type[n - 1]))
		n--;
	if (type == nullptr || !sameword(type, n, "multipart/form-data"))
		return "CONTENT_TYPE is not multipart/form-data";
	const char *b = param(type, end, "boundary", &n);
	if (b == nullptr || n == 0 || n > boundsize)
		return "CONTENT_TYPE has no boundary of 1 to 70 characters";
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

// One header line, "Name: value" with no NUL byte, from s to end; the name
// and filename are kept when it is the part's Content-Disposition.
static const char *header(form *f, const char *s, const char *end, const char **name,
			  const char **filename)
{
	if (memchr(s, '\0', static_cast<size_t>(end - s)) != nullptr)
		return "a NUL byte in a part's headers";
	const char *colon = static_cast<const char *>(memchr(s, ':', static_cast<size_t>(end - s)));
	if (colon == nullptr || colon == s || blank(*s))
		return "a part's headers are malformed";
	if (!sameword(s, static_cast<size_t>(colon - s), "content-disposition"))
		return nullptr;
	const char *v = colon + 1;
	while (v < end && blank(*v))
		v++;
	const char *semi = static_cast<const char *>(memchr(v, ';', static_cast<size_t>(end - v)));
	size_t n = static_cast<size_t>((semi != nullptr ? semi : end) - v);
	while (n > 0 && blank(v[n - 1]))
		n--;
	if (!sameword(v, n, "form-data"))
		return "a part is not form-data";
	size_t nlen, flen;
	const char *nm = param(v, end, "name", &nlen), *fn = param(v, end, "filename", &flen);
	if (nm == nullptr || nlen == 0)
		return "a part has no name";
	// Both fit: the headers, and so these, are shorter than head.
	char *h = f->head;
	*name = static_cast<const char *>(memcpy(h, nm, nlen));
	h[nlen] = '\0';
	*filename = nullptr;
	if (fn != nullptr) {
		h += nlen + 1;
		*filename = static_cast<const char *>(memcpy(h, fn, flen));
		h[flen] = '\0';
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
	f->start = static_cast<size_t>(end - f->buf) + (end == f->buf + f->start ? 2 : 4);
	f->inpart = true;
	return 1;
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
