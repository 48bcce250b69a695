// URL encoding, the other direction: every byte that is not unreserved
// becomes '%' and two hex digits, so that decoding gives it back.
#include <cstdio>
#include <cstring>

#include "lines.h"
#include "urlcode.h"

// RFC 3986's unreserved set, by byte value, not by the locale's classes.
static bool unreserved(unsigned char c)
{
	return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
	       c == '-' || c == '.' || c == '_' || c == '~';
}

size_t encodedlen(const char *s, bool rfc)
{
	size_t n = 0;

	for (; *s != '\0'; s++) {
		unsigned char c = static_cast<unsigned char>(*s);
		n += unreserved(c) || (c == ' ' && !rfc) ? 1u : 3u;
	}
	return n;
}

char *urlencode(char *out, const char *s, bool rfc)
{
	static const char hex[] = "0123456789ABCDEF";

	for (; *s != '\0'; s++) {
		unsigned char c = static_cast<unsigned char>(*s);
		if (unreserved(c)) {
			*out++ = static_cast<char>(c);
		} else if (c == ' ' && !rfc) {
			*out++ = '+';
		} else {
			*out++ = '%';
			*out++ = hex[c >> 4];
			*out++ = hex[c & 15];
		}
	}
	*out = '\0';
	return out;
}

// Every field has its '=', an empty value too, so that a key alone comes
// back as itself and not as a key with no value.
size_t querylen(char *const *pairs, size_t n, bool rfc)
{
	size_t len = n > 0 ? 2 * n - 1 : 0;	// each '=' and each '&' between

	for (size_t i = 0; i < 2 * n; i++)
		len += encodedlen(pairs[i], rfc);
	return len;
}

char *makequery(char *out, char *const *pairs, size_t n, bool rfc)
{
	*out = '\0';
	for (size_t i = 0; i < n; i++) {
		if (i > 0)
			*out++ = '&';
		out = urlencode(out, pairs[2 * i], rfc);
		*out++ = '=';
		out = urlencode(out, pairs[2 * i + 1], rfc);
	}
	return out;
}

const char *encodeoptions(int argc, char *const argv[], bool *rfc)
{
	// [-r] [--] string: after "--", the string, whatever it reads.
	int i = 1;
	*rfc = argc > 2 && strcmp(argv[1], "-r") == 0;
	i += *rfc ? 1 : 0;
	i += i < argc - 1 && strcmp(argv[i], "--") == 0 ? 1 : 0;
	return i == argc - 1 ? argv[i] : nullptr;
}

bool encodelines(int argc, char *const argv[], bool *rfc, char *sep, const char **why)
{
	bool lines = false;
	*rfc = false;
	*why = nullptr;
	for (int i = 1; i < argc; i++) {
		const char *a = argv[i];
		if (strcmp(a, "-r") == 0)
			*rfc = true;
		else if (a[0] != '-' || a[1] == '\0' || a[2] != '\0' || !lineswitch(a[1], &lines, sep, why))
			return false;
	}
	return lines;
}

static const char *record(void *arg, char *rec, size_t n, lineout *out)
{
	bool rfc = *static_cast<bool *>(arg);
	char *at = lineroom(out, 3 * n);
	if (at != nullptr)
		out->n = static_cast<size_t>(urlencode(at, rec, rfc) - out->p);
	return nullptr;
}

int encodeeach(bool rfc, char sep, linereader *rd, linesay *say)
{
	return eachline("urlencode", sep, record, &rfc, rd, say);
}

void encodeusage(const char *progname)
{
	fprintf(stderr, "Usage:\n%s [-r] string\n", progname);
	fputs("Every byte but A-Z a-z 0-9 - . _ ~ is written as %XX, and a space as +;\n"
	      "the -r switch writes a space as %20, as in a URI component\n", stderr);
}
