// For every input: the routines touch nothing beyond the string and its
// terminator, decoding never lengthens the string and gives what two plain
// passes give, escaping gives what the plain shift-the-rest algorithm
// gives, and a whole run, with and without -b and -e, fits its working
// copy and gives what the steps give one by one, as does each half of each
// field of a query string; and decoding what encoding makes of the input
// gives the input back.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "urlcode.h"

// Escaping done the obvious way: for each metacharacter, move the rest of
// the string and its terminator one place right and put a backslash in
// the gap. Quadratic, and plainly right.
static void shift_escape(char *cmd)
{
	size_t len = strlen(cmd);

	for (size_t i = 0; cmd[i] != '\0'; i++) {
		if (ind(shell_metachars, cmd[i]) != -1) {
			for (size_t j = len + 1; j > i; j--)
				cmd[j] = cmd[j - 1];
			len++;
			cmd[i++] = '\\';
		}
	}
}

// Decoding done as two plain passes: the first writes each escape's byte
// over its first character and goes on from the next, so a decoded '%'
// starts an escape and a decoded NUL ends the pass; the second closes the
// gaps. Only a '%' with two characters after it is an escape.
static void two_passes(char *s)
{
	size_t len = strlen(s), w = 0;

	for (size_t i = 0; s[i] != '\0'; i++)
		if (s[i] == '%' && i + 2 < len)
			s[i + 1] = x2c(s + i + 1);
	for (size_t r = 0; s[r] != '\0'; r++, w++) {
		if (s[r] == '%' && r + 2 < len) {
			s[w] = s[r + 1];
			r += 2;
		} else {
			s[w] = s[r];
		}
	}
	s[w] = '\0';
}

static const char unreserved[] =
	"-._~0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// A heap copy of exactly len + room + 1 bytes, so that the sanitizer sees
// any byte beyond the string's terminator or the given room.
static char *copy(const char *s, size_t len, size_t room)
{
	char *p = static_cast<char *>(malloc(len + room + 1));
	memcpy(p, s, len);
	p[len] = '\0';
	return p;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	char *s = copy(reinterpret_cast<const char *>(data), size, 0);
	size_t before = strlen(s);
	char *plain = copy(s, before, 0);
	plustospace(s);
	unescape_url(s);
	size_t after = strlen(s);
	if (after > before)
		abort();
	plustospace(plain);
	two_passes(plain);
	if (strcmp(plain, s) != 0)
		abort();
	free(plain);

	size_t metas = 0;
	for (size_t i = 0; i < after; i++)
		metas += ind(shell_metachars, s[i]) != -1;
	char *fast = copy(s, after, metas);
	char *slow = copy(s, after, after);
	escape_shell_cmd(fast);
	shift_escape(slow);
	if (strcmp(fast, slow) != 0 || strlen(fast) != after + metas)
		abort();

	free(slow);
	free(fast);
	free(s);

	char *arg = copy(reinterpret_cast<const char *>(data), size, 0);
	for (int flags = 0; flags < 8; flags++) {
		bool blanks = flags & 1, escape = flags & 2, strict = flags & 4;
		char *work = workcopy(arg);
		char *want = copy(arg, before, before);
		const char *got = decode(work, blanks, escape);
		// The steps by hand, trimming with the obvious loops.
		char *w = want;
		plustospace(w);
		if (blanks) {
			w += strspn(w, " ");
			for (size_t n = strlen(w); n > 0 && w[n - 1] == ' '; n--)
				w[n - 1] = '\0';
		}
		unescape_url(w);
		if (escape)
			shift_escape(w);
		if (strcmp(got, w) != 0)
			abort();
		free(want);
		free(work);

		// As a query string: each key and value is what decoding the
		// bytes between its '&' or '=' marks as one argument gives.
		char *buf = workcopy(arg);
		const char *q = arg, *key, *value;
		for (char *f = strtok(want = copy(arg, before, 0), "&"); f != nullptr;
		     f = strtok(nullptr, "&")) {
			char *eq = strchr(f, '=');
			if (eq != nullptr)
				*eq = '\0';
			char *k = workcopy(f), *v = workcopy(eq != nullptr ? eq + 1 : "");
			if (!nextfield(&q, buf, blanks, escape, &key, &value, strict ? strictpct : fixedarith) ||
			    strcmp(key, decode(k, blanks, escape, true, strict)) != 0 ||
			    strcmp(value, decode(v, blanks, escape, true, strict)) != 0)
				abort();
			free(k);
			free(v);
		}
		if (nextfield(&q, buf, blanks, escape, &key, &value, strict ? strictpct : fixedarith))
			abort();
		free(want);
		free(buf);
	}

	// Encoding, either way, writes only unreserved bytes and upper-case
	// escapes, '+' too for form encoding, and decoding gives arg back.
	for (int r = 0; r < 2; r++) {
		bool rfc = r == 1;
		size_t len = encodedlen(arg, rfc);
		char *enc = copy("", 0, len);
		if (urlencode(enc, arg, rfc) != enc + len || strlen(enc) != len)
			abort();
		for (const char *p = enc; *p != '\0'; p++) {
			if (*p == '%' && strspn(p + 1, "0123456789ABCDEF") >= 2)
				p += 2;
			else if (!(*p == '+' && !rfc) && strchr(unreserved, *p) == nullptr)
				abort();
		}
		char *work = workcopy(enc);
		if (strcmp(decode(work, false, false), arg) != 0)
			abort();
		free(work);
		free(enc);
	}
	free(arg);
	return 0;
}
