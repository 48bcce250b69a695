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

const char *jsonpointer(const char *p)
{
	if (*p != '\0' && *p != '/')
		return "a pointer must be \"\" or start with '/'";
	for (; *p != '\0'; p++)
		if (*p == '~' && p[1] != '0' && p[1] != '1')
			return "a '~' in a pointer must be followed by 0 or 1";
	return nullptr;
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

