// Writing JSON: strings as jsonquote writes them, and pointers as RFC 6901
// escapes their names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "answer.h"
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

bool jsonname(const char *p, size_t n, jsonbuf *out)
{
	for (size_t i = 0; i <= n; i++) {
		if (*p != '/')
			return false;
		const char *e = p + 1;
		while (*e != '\0' && *e != '/')
			e++;
		if (i == n) {
			out->n = 0;
			for (const char *s = p + 1; s < e; s++) {
				char c = *s;
				if (c == '~')
					c = *++s == '0' ? '~' : '/';
				jsonadd(out, &c, 1);
			}
			jsonadd(out, "", 0);
			return true;
		}
		p = e;
	}
	return false;
}

