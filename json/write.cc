// Writing JSON: strings as jsonquote writes them, and pointers as RFC 6901
// escapes their names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text.h"
#include "json.h"

void jsonstr(jsonbuf *out, const char *s, size_t n)
{
	// Room for the most that n bytes can become, each a \u escape of six.
	char *at = n <= (~static_cast<size_t>(0) - out->n) / 6 - 1 ? jsongrow(out, 6 * n) : nullptr;
	if (at == nullptr) {
		out->bad = true;
		return;
	}
	out->n += jsonbody(at, s, n);
	out->p[out->n] = '\0';
}

void jsonescname(jsonbuf *out, const char *s, size_t n)
{
	for (size_t i = 0; i < n;) {
		size_t k = i;
		while (k < n && s[k] != '~' && s[k] != '/')
			k++;
		jsonadd(out, s + i, k - i);
		if (k < n)
			jsonadd(out, s[k] == '~' ? "~0" : "~1", 2);
		i = k + 1;
	}
}

const char *jsonpointer(const char *p, bool every)
{
	if (*p != '\0' && *p != '/')
		return "a pointer must be \"\" or start with '/'";
	for (; *p != '\0'; p++)
		if (*p == '~' && p[1] != '0' && p[1] != '1' && !(every && p[-1] == '/' && (p[1] == '/' || p[1] == '\0')))
			return every ? "a '~' in a pointer must be followed by 0 or 1, or stand alone as a step" :
				       "a '~' in a pointer must be followed by 0 or 1";
	return nullptr;
}

int jsonunder(const char *ptr, size_t n, const char *const *patterns, int npatterns)
{
	int best = 0;
	for (int k = 0; k < npatterns && best < 2; k++) {
		const char *p = patterns[k];
		size_t i = 0;
		for (;;) {
			if (*p == '\0') {	// the pattern ends: at it, or under it
				best = 2;
				break;
			}
			if (i == n) {		// the pointer ends first: on the way
				best = 1;
				break;
			}
			// One step of each, both starting at their '/'.
			size_t a = 1, b = 1;
			while (p[a] != '\0' && p[a] != '/')
				a++;
			while (i + b < n && ptr[i + b] != '/')
				b++;
			if (!(a == 2 && p[1] == '~') && (a != b || !samebytes(p, ptr + i, a)))
				break;
			p += a, i += b;
		}
	}
	return best;
}

const char *jsonname(const char *p, jsonbuf *out)
{
	if (*p != '/')
		return nullptr;
	out->n = 0;
	for (p++; *p != '\0' && *p != '/'; p++) {
		char c = *p;
		if (c == '~')
			c = *++p == '0' ? '~' : '/';
		jsonadd(out, &c, 1);
	}
	jsonadd(out, "", 0);
	return p;
}

