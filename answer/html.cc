// Text for HTML: the five bytes that can end text or a quoted attribute,
// or start markup, as entities; the rest as it stands, UTF-8 or not.
#include <cstring>

#include "answer.h"

static const char *entity(char c)
{
	switch (c) {
	case '&':
		return "&amp;";
	case '<':
		return "&lt;";
	case '>':
		return "&gt;";
	case '"':
		return "&quot;";
	case '\'':
		return "&#x27;";
	default:
		return nullptr;
	}
}

size_t htmllen(const char *s)
{
	size_t n = 0;
	for (; *s != '\0'; s++) {
		const char *e = entity(*s);
		n += e != nullptr ? strlen(e) : 1;
	}
	return n;
}

char *htmlescape(char *out, const char *s)
{
	for (; *s != '\0'; s++) {
		const char *e = entity(*s);
		if (e == nullptr) {
			*out++ = *s;
		} else {
			size_t n = strlen(e);
			memcpy(out, e, n);
			out += n;
		}
	}
	*out = '\0';
	return out;
}
