// What the parser's files share among themselves.
#ifndef URL_INTERN_H
#define URL_INTERN_H

#include "url.h"

// The percent-encode sets, each holding the one before it but for
// fragment, which holds C0 and its own.
enum encodeset { c0set, fragmentset, queryset, specialqueryset, pathset, userinfoset };

bool inset(unsigned char c, encodeset set);
void encode(str *out, const char *s, size_t n, encodeset set);

// The first validation error is the one reported.
inline void invalid(report *r, const char *name)
{
	if (r->error == nullptr)
		r->error = name;
}

inline bool fail(report *r, const char *name)
{
	invalid(r, name);
	r->failure = name;
	return false;
}

// v in decimal, or in lower-case hexadecimal, appended.
void addnum(str *out, unsigned long v, unsigned base);

// n bytes alike; the program's few calls need no library's.
bool samebytes(const char *a, const char *b, size_t n);

bool alpha(char c);
bool digit(char c);
bool hex(char c);
char lower(char c);

// Whether the bytes from p on, before end, start with a URL unit: a
// percent-encoded byte or a URL code point. A byte that continues a UTF-8
// sequence is taken as one, since the byte that leads it was judged.
bool urlunit(const char *p, const char *end);

// Whether n bytes are UTF-8; into out, where it is not null, the bytes
// with U+FFFD for each bad sequence, as the Encoding Standard decodes.
bool fixutf8(const char *in, size_t n, str *out);

// Whether n bytes of UTF-8 hold one of UTS #46's four deviation
// characters (ß, ς, ZWNJ, ZWJ), or with capital also U+1E9E, which UTS #46
// maps to ß since revision 15.1.
bool deviation(const char *s, size_t n, bool capital);

// The host parser, on n bytes: the host into u, or false with r->failure.
bool parsehost(const char *in, size_t n, bool opaque, url *u, report *r);

// The parser's states; a setter starts it in one of them.
enum state {
	at_none, at_schemestart, at_scheme, at_noscheme, at_specialrelativeorauthority, at_pathorauthority, at_relative, at_relativeslash, at_specialauthorityslashes, at_specialauthorityignoreslashes, at_authority, at_host, at_hostname, at_port, at_file, at_fileslash, at_filehost, at_pathstart, at_path, at_opaquepath, at_query, at_fragment,
};

// The parser on n bytes of input, in place on u, from override's state,
// or from the start for a new URL, which at_none asks. A setter's value
// keeps any blanks at its ends; tabs and newlines go from both.
bool run(const char *in, size_t n, const url *base, url *u, state override, report *r);

// What a URL's result holds that other readers read otherwise, whatever
// input made it: an error of our own into r.
void checkfile(const url *u, report *r);

bool isspecial(const str *scheme);
long defaultport(const str *scheme);

#endif
