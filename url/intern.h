// What the parser's files share among themselves.
#ifndef URL_INTERN_H
#define URL_INTERN_H

#include "url.h"
#include "words.h"

// The percent-encode sets, each holding the one before it but for
// fragment, which holds C0 and its own.
enum encodeset { c0set, fragmentset, queryset, specialqueryset, pathset, userinfoset };

// Each set, as the bytes below 0x80 that it holds besides C0's controls
// and DEL; every byte above them is in all. In a table of a bit a set for
// each byte, made when the program is compiled, as every byte of a URL
// is looked up.
struct encodesets {
	unsigned char in[256];
	constexpr encodesets() : in()
	{
		const char *const extra[] = {"", " \"<>`", " \"#<>", " \"#<>'", " \"#<>?^`{}",
					     " \"#<>?^`{}/:;=@[\\]|"};
		for (unsigned c = 0; c < 256; c++)
			in[c] = c < 0x20 || c >= 0x7F ? 0x3F : 0;
		for (unsigned set = 0; set < 6; set++)
			for (const char *e = extra[set]; *e != '\0'; e++)
				in[static_cast<unsigned char>(*e)] |= static_cast<unsigned char>(1u << set);
	}
};
inline constexpr encodesets encodetable;

inline bool inset(unsigned char c, encodeset set)
{
	return (encodetable.in[c] >> set) & 1;
}
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

// Why a string could not grow: its budget, or the memory. What was
// made of the part that it held would be another URL, so that is the
// only verdict: the first error and the failure alike.
inline bool lacking(report *r, const str *s)
{
	r->error = r->failure = s->over ? "too-long" : "out-of-memory";
	return false;
}

// v in decimal, or in lower-case hexadecimal, appended.
void addnum(str *out, unsigned long v, unsigned base);

// n bytes alike; the program's few calls need no library's.
inline bool samebytes(const char *a, const char *b, size_t n)
{
	while (n > 0 && *a == *b)
		a++, b++, n--;
	return n == 0;
}

// Inline, as the parser asks them of nearly every byte.
inline bool alpha(char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool digit(char c)
{
	return c >= '0' && c <= '9';
}
inline bool hex(char c)
{
	return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline char lower(char c)
{
	return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

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
