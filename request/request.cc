// A request's body read once, as its type says, the signature's check fed
// as it goes.
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "request.h"
#include "text.h"
#include "urlcode.h"

// The request being read, for the reader below, which has no room for it.
static request *now_;

static ssize_t plainread(int fd, char *buf, size_t len)
{
	return read(fd, buf, len);
}

// Every byte of the body goes through here, whichever parser asks for it.
static ssize_t signedread(int fd, char *buf, size_t len)
{
	ssize_t got = waitread(fd, buf, len);
	if (got > 0) {
		if (now_->hook != nullptr)
			hookadd(now_->hook, buf, static_cast<size_t>(got));
		now_->checked += static_cast<unsigned long long>(got);
	}
	return got;
}

static reqstatus fail(request *r, reqstatus st, const char *format, ...) __attribute__((format(printf, 3, 4)));
static reqstatus fail(request *r, reqstatus st, const char *format, ...)
{
	va_list ap;
	va_start(ap, format);
	vsnprintf(r->msg, sizeof r->msg, format, ap);
	va_end(ap);
	return st;
}

static reqstatus nomem(request *r)
{
	return fail(r, req_bad, "cannot allocate memory: %s", strerror(ENOMEM));
}

// Room for one more of size bytes in *v; false where memory runs out.
static bool grow(void **v, size_t n, size_t *cap, size_t size)
{
	if (n < *cap)
		return true;
	size_t c = *cap == 0 ? 16 : 2 * *cap;
	void *p = realloc(*v, c * size);
	if (p == nullptr)
		return false;
	*v = p, *cap = c;
	return true;
}

static char *copyof(const char *s)
{
	size_t n = strlen(s) + 1;
	char *p = static_cast<char *>(malloc(n));
	return p != nullptr ? static_cast<char *>(memcpy(p, s, n)) : nullptr;
}

// The path of a new file in the folder, formdata.SUFFIX; false where it
// is too long.
static bool pathfor(request *r, char *path, const char *suffix)
{
	int n = snprintf(path, PATH_MAX, "%s/formdata.%s", r->dir, suffix);
	if (n < 0 || n >= PATH_MAX) {
		fail(r, req_bad, "%s: the folder's name is too long", r->dir);
		return false;
	}
	return true;
}

// A new file for the part, mode 0600: without a name where the folder's
// file system can, or else under a name of its own, which mkstemp makes
// with O_EXCL. /proc gives the unnamed one its name later.
static bool newfile(request *r, const char *key, const char *filename)
{
	char path[PATH_MAX];
	if (!pathfor(r, path, "XXXXXX"))
		return false;
	if (!grow(reinterpret_cast<void **>(&r->files), r->nfiles, &r->filecap, sizeof *r->files)) {
		nomem(r);
		return false;
	}
	int fd = access("/proc/self/fd", X_OK) == 0 ? open(r->dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) :
						      (errno = EOPNOTSUPP, -1);
	bool named = fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
	if (named)
		fd = mkstemp(path);
	if (fd < 0) {
		fail(r, req_bad, "%s: cannot make a file there: %s", r->dir, strerror(errno));
		return false;
	}
	reqfile *s = &r->files[r->nfiles++];
	*s = {copyof(key), copyof(filename), named ? copyof(path) : nullptr, fd};
	if (s->key == nullptr || s->filename == nullptr || (named && s->path == nullptr)) {
		nomem(r);
		return false;
	}
	return true;
}

bool reqname(request *r)
{
	static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
	for (size_t i = 0; i < r->nfiles; i++) {
		reqfile *s = &r->files[i];
		if (s->path != nullptr)
			continue;
		char proc[64], path[PATH_MAX], suffix[7];
		snprintf(proc, sizeof proc, "/proc/self/fd/%d", s->fd);
		int done = -1;
		// linkat, like O_EXCL, never replaces a file.
		for (int tries = 0; done != 0 && tries < 100; tries++) {
			unsigned char rnd[6];
			if (!randbytes(rnd, sizeof rnd))
				for (size_t k = 0; k < sizeof rnd; k++)
					rnd[k] = static_cast<unsigned char>(rand());
			for (size_t k = 0; k < sizeof rnd; k++)
				suffix[k] = letters[rnd[k] % (sizeof letters - 1)];
			suffix[6] = '\0';
			if (!pathfor(r, path, suffix))
				return false;
			done = linkat(AT_FDCWD, proc, AT_FDCWD, path, AT_SYMLINK_FOLLOW);
			if (done != 0 && errno != EEXIST)
				break;
		}
		if (done != 0) {
			fail(r, req_bad, "%s: cannot name a file there: %s", r->dir, strerror(errno));
			return false;
		}
		if ((s->path = copyof(path)) == nullptr) {
			unlink(path);
			nomem(r);
			return false;
		}
		close(s->fd);
		s->fd = -1;
	}
	return true;
}

static bool pushfield(request *r, char *s)
{
	if (s == nullptr || !grow(reinterpret_cast<void **>(&r->fields), r->nfields, &r->fieldcap, sizeof *r->fields)) {
		free(s);
		nomem(r);
		return false;
	}
	r->fields[r->nfields++] = s;
	return true;
}

// The content of the part that formpart has just begun: a text field's
// value, or a file's bytes into a new file, which is made with the first
// byte, or at the end where the client gave a filename, so that a file
// input left empty makes none; with no folder, none is made. False with
// r->msg set.
static bool content(request *r, const char *key, const char *filename)
{
	const char *data, *why = nullptr;
	char *value = nullptr;
	size_t len = 0, first = r->nfiles;
	ssize_t n;

	while ((n = formpiece(r->f, &data, &why)) > 0) {
		size_t m = static_cast<size_t>(n);
		if (filename == nullptr) {
			// A shell's string ends at a NUL byte.
			char *more = nullptr;
			if (memchr(data, '\0', m) != nullptr)
				fail(r, req_bad, "%s: a NUL byte in a text field", key);
			else if ((more = static_cast<char *>(realloc(value, len + m + 1))) == nullptr)
				nomem(r);
			if (more == nullptr) {
				free(value);
				return false;
			}
			value = more;
			memcpy(value + len, data, m);
			value[len += m] = '\0';
		} else if (r->dir == nullptr) {
			continue;	// nowhere to put a file
		} else if (r->nfiles == first && !newfile(r, key, filename)) {
			return false;
		} else if (!writeall(r->files[first].fd, data, m)) {
			fail(r, req_bad, "%s: cannot write a file there: %s", r->dir, strerror(errno));
			return false;
		}
	}
	if (n < 0) {
		free(value);
		fail(r, req_bad, "%s", why);
		return false;
	}
	if (filename != nullptr) {
		if (r->dir != nullptr && r->nfiles == first && *filename != '\0' && !newfile(r, key, filename))
			return false;
		// A file made under its name is complete now; an unnamed one stays
		// open until it gets its name.
		reqfile *s = r->nfiles > first ? &r->files[first] : nullptr;
		if (s != nullptr && s->path != nullptr) {
			int fd = s->fd;
			s->fd = -1;
			if (close(fd) != 0) {
				fail(r, req_bad, "%s: %s", s->path, strerror(errno));
				return false;
			}
		}
		value = copyof(filename);
	} else if (value == nullptr) {
		value = copyof("");
	}
	if (!pushfield(r, copyof(key)) || !pushfield(r, value))
		return false;
	r->bytes += strlen(key) + strlen(value);
	return overlimit(r->nfields / 2, r->bytes, r->most, r->maxbytes, r->msg, sizeof r->msg) == nullptr;
}

// The body whole into r->body: exactly its length, or with none, up to
// its end and at most r->limit bytes. False with r->msg set.
static bool whole(request *r, int fd, bool sized)
{
	size_t n = sized ? static_cast<size_t>(formsize(r->f)) : 0, cap = sized ? n : 65536;
	if ((r->body = static_cast<char *>(malloc(cap + 1))) == nullptr)
		return nomem(r), false;
	const char *why = nullptr;
	if (sized) {
		if (!formall(r->f, r->body, &why))
			return fail(r, req_bad, "%s", why), false;
	} else {
		for (;;) {
			if (n == cap) {
				if (cap > r->limit)
					return fail(r, req_bad, "a body of more than %llu bytes", r->limit), false;
				char *p = static_cast<char *>(realloc(r->body, 2 * cap + 1));
				if (p == nullptr)
					return nomem(r), false;
				r->body = p, cap *= 2;
			}
			ssize_t got = signedread(fd, r->body + n, cap - n);
			if (got < 0 && errno == EINTR)
				continue;
			if (got < 0)
				return fail(r, req_bad, "%s", strerror(errno)), false;
			if (got == 0)
				break;
			n += static_cast<size_t>(got);
		}
		if (n > r->limit)
			return fail(r, req_bad, "a body of more than %llu bytes", r->limit), false;
	}
	r->body[n] = '\0';
	r->bodylen = n;
	r->held = true;
	return true;
}

// An application/x-www-form-urlencoded body, read whole: a shell's string
// holds no NUL byte, and a bad escape is an error, as with urldecode -s.
static bool urlencoded(request *r, int fd)
{
	if (!whole(r, fd, true))
		return false;
	const char *bad;
	size_t at, n = r->bodylen, count;
	unsigned long long bytes;
	if (memchr(r->body, '\0', n) != nullptr)
		return fail(r, req_bad, "a NUL byte in the body"), false;
	if ((bad = badescape(r->body, &at)) != nullptr)
		return fail(r, req_bad, "byte offset %zu: %s", at, bad), false;
	fieldcount(r->body, '&', &count, &bytes);
	if (overlimit(count, bytes, r->most, r->maxbytes, r->msg, sizeof r->msg) != nullptr)
		return false;
	// Each field is copied there as it is decoded, so nothing of the body
	// is copied beforehand: memory never written costs nothing.
	if (n > (SIZE_MAX - 1) / 2 || (r->copy = static_cast<char *>(malloc(2 * n + 1))) == nullptr)
		return nomem(r), false;
	return true;
}

// An application/json body, read as jsonparse reads a text, exactly its
// length of it.
static bool jsontext(request *r, int fd)
{
	if ((r->j = static_cast<json *>(calloc(1, sizeof *r->j))) == nullptr)
		return nomem(r), false;
	jsonstream(r->j, fd, signedread, formsize(r->f), r->strict);
	const char *why = jsonall(r->j, &r->flat, static_cast<unsigned long>(r->most), r->maxbytes,
				  r->nkeep > 0 ? r->keep : nullptr, r->nkeep);
	if (why != nullptr)
		fail(r, req_bad, "%s", why);
	return why == nullptr;
}

// The body as its kind says; a status, r->msg set where it is not req_ok.
static reqstatus body(request *r, int fd, const char *length, const char *type)
{
	const char *why;
	if (r->whole) {
		why = length != nullptr ? formbegin(r->f, fd, signedread, length, "", r->limit) : nullptr;
		if (why != nullptr && r->f->kind == formnone)
			return fail(r, req_bad, "%s", why);
		r->length = r->f->left;
		formtype(r->f, type != nullptr ? type : "");	// as a sender would sign it
		r->kind = r->f->kind;
		return whole(r, fd, length != nullptr) ? req_ok : req_bad;
	}
	why = formbegin(r->f, fd, signedread, length, type, r->limit);
	r->kind = r->f->kind;
	r->length = r->f->left;
	if (why != nullptr)
		return fail(r, r->kind == formunknown ? req_unsupported : req_bad, "%s", why);
	if ((r->kinds & (1u << r->kind)) == 0) {
		static const char *const names[] = {"multipart/form-data", "application/x-www-form-urlencoded",
						    "application/json"};
		return fail(r, req_unsupported, "CONTENT_TYPE is %s, which -b does not take", names[r->kind]);
	}
	if (r->kind == formfields)
		return urlencoded(r, fd) ? req_ok : req_bad;
	if (r->kind == formjson)
		return jsontext(r, fd) ? req_ok : req_bad;
	const char *key, *filename;
	int more;
	while ((more = formpart(r->f, &key, &filename, &why)) > 0)
		if (!content(r, key, filename))
			return req_bad;
	return more == 0 ? req_ok : fail(r, req_bad, "%s", why);
}

// The signature's check ended, once the body has been read, as far as it
// was: the rest of its length, past where a parser stopped, is fed too.
// A signature that does not hold is all that is said, whatever else was
// wrong with the body.
static reqstatus sigend(request *r, int fd, reqstatus st, bool sized)
{
	char rest[4096];
	bool cut = false;
	while (sized && !cut && r->checked < r->length) {
		unsigned long long left = r->length - r->checked;
		ssize_t got = signedread(fd, rest, left < sizeof rest ? static_cast<size_t>(left) : sizeof rest);
		if (got < 0 && errno == EINTR)
			continue;
		cut = got <= 0;
	}
	// Twilio signs a form's fields, decoded, or a JSON body's digest, and
	// nothing of another body: where they cannot be had, the signature
	// cannot hold.
	hookcheck *c = r->hook;
	bool fields = c->scheme == hook_twilio && r->kind == formfields;
	hookstatus hs;
	if (c->scheme == hook_twilio && ((fields && (!r->held || memchr(r->body, '\0', r->bodylen) != nullptr)) ||
					 (!fields && !r->whole && r->kind != formjson))) {
		hookend(c, nullptr, 0);
		hs = c->status = hook_wrong;
		snprintf(c->msg, sizeof c->msg, "signature wrong: no key gives it over this body");
	} else {
		hs = hookend(c, fields ? r->body : nullptr, fields ? r->bodylen : 0);
	}
	if (hs != hook_ok)
		return fail(r, req_unsigned, "%s", c->msg);
	// A delivery that holds, seen before, is refused as a forgery is.
	if (r->replays != nullptr) {
		const char *seen = hookreplay(c, r->replays, r->window, time(nullptr));
		if (seen != nullptr && strcmp(seen, "replayed") == 0)
			return fail(r, req_unsigned, "replayed: this delivery was received before");
		if (seen != nullptr)
			return fail(r, req_bad, "%s", seen);
	}
	if (cut && st == req_ok)
		return fail(r, req_bad, "the body ended before CONTENT_LENGTH");
	return st;
}

unsigned reqkinds(const char *list)
{
	static const char *const names[] = {"multipart", "urlencoded", "json"};
	unsigned set = 0;
	for (const char *p = list;; p++) {
		size_t n = strcspn(p, ",");
		unsigned k = 0;
		while (k < 3 && (strlen(names[k]) != n || strncmp(p, names[k], n) != 0))
			k++;
		if (k == 3)
			return 0;
		set |= 1u << k;
		p += n;
		if (*p == '\0')
			return set;
	}
}

hookcheck *reqsign(hookscheme s, headerfn *header, void *arg, const hookkey *keys, int n, long long tolerance,
		   const char *url, reqstatus *st, char *msg, size_t size)
{
	hookcheck *c = static_cast<hookcheck *>(calloc(1, sizeof *c));
	*st = req_bad;
	if (c == nullptr) {
		snprintf(msg, size, "cannot allocate the signature's check: %s", strerror(ENOMEM));
		return nullptr;
	}
	if (hookstart(c, s, header, arg, keys, n, tolerance, time(nullptr), url) == hook_ok)
		return c;
	snprintf(msg, size, "%s", c->msg);
	*st = c->status == hook_badkey ? req_bad : req_unsigned;
	hookfree(c);
	free(c);
	return nullptr;
}

reqstatus reqread(request *r, int fd, const char *length, const char *type)
{
	// The window is allocated, never zeroed nor copied: its 64 KiB are
	// touched only as far as the body fills them.
	if (r->f == nullptr && (r->f = static_cast<form *>(malloc(sizeof *r->f))) == nullptr)
		return nomem(r);
	r->f->kind = formnone;
	r->f->left = 0;
	now_ = r;
	r->checked = 0;
	waiting outer = waitbegin(r->rd != nullptr ? r->rd : plainread, r->interrupted, r->ms);
	reqstatus st = body(r, fd, length, type);
	// What is left of the length, where one was read: a parser that stops
	// at a fault, or at a close delimiter, leaves the rest unread. A
	// length that was refused (none, not a number, over the limit) let
	// no byte be read, and says so: it is the client's own, and tells it
	// nothing of how its bytes are read.
	bool refused = length != nullptr ? r->f->kind == formnone : !r->whole;
	if (r->hook != nullptr && !waitedout() && !refused)
		st = sigend(r, fd, st, length != nullptr);
	bool late = waitedout();
	waitend(&outer);
	if (late)
		st = fail(r, req_late, "no more of the body came within %s seconds", r->waited != nullptr ? r->waited : "");
	return st;
}

void reqfree(request *r, bool keep)
{
	for (size_t i = 0; i < r->nfiles; i++) {
		reqfile *s = &r->files[i];
		if (s->fd >= 0)
			close(s->fd);
		if (!keep && s->path != nullptr)
			unlink(s->path);
		free(s->key);
		free(s->filename);
		free(s->path);
	}
	for (size_t i = 0; i < r->nfields; i++)
		free(r->fields[i]);
	free(r->files);
	free(r->fields);
	free(r->body);
	free(r->copy);
	if (r->j != nullptr)
		jsonend(r->j);
	free(r->j);
	jsonflatfree(&r->flat);
	free(r->f);
	if (r->hook != nullptr) {
		hookfree(r->hook);
		free(r->hook);
	}
	r->files = nullptr, r->fields = nullptr, r->body = r->copy = nullptr, r->j = nullptr, r->hook = nullptr;
	r->f = nullptr;
	r->nfiles = r->nfields = 0;
	if (now_ == r)
		now_ = nullptr;
}
