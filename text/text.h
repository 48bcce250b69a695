// Text as the tools take it and give it back: UTF-8 read a code point at
// a time, and a JSON string written so that it is safe in a <script>.
// Below every library that needs them (json/, answer/), and above none.
#ifndef TEXT_H
#define TEXT_H

#include <cstddef>

// The UTF-8 sequence at s, of at most avail bytes: its code point, and its
// length in *len; or -1 where it is none (an overlong form, a surrogate, a
// code point past U+10FFFF, a byte that cannot start or continue one, a
// sequence cut short).
long utf8point(const unsigned char *s, size_t avail, size_t *len);
// The offset of the first byte of s that is not UTF-8, or -1.
long utf8bad(const char *s);

// A message made of n bytes at in, whatever they hold, as one line of
// UTF-8 text in out (size bytes, a NUL included): each byte that is not
// part of a character, and each control character, as \xHH. Cut short on
// a character's boundary where out is full, and with cut, where in was
// itself cut, without the first bytes of a character that ends it. Returns
// its length.
size_t textline(char *out, size_t size, const char *in, size_t n, bool cut);
// "PROG: WHAT" and a newline so in line, size bytes (at least four),
// with no NUL: returns its length. saytext writes it to standard error
// in one write, cut past about 4 KiB.
size_t textmsg(char *line, size_t size, const char *prog, const char *what);
void saytext(const char *prog, const char *what);
// n bytes at p written to fd, through short writes and signals: false,
// with errno set, where a write failed.
bool writeall(int fd, const char *p, size_t n);
// v in decimal at out, a '-' first where it is below zero: its length,
// at most 20, with no NUL.
size_t unsignedout(char *out, unsigned long long v);
size_t numout(char *out, long long v);
// Pieces of a message: z, or v in decimal, after the string in m, which
// has size bytes in all, cut short where they do not fit, on a
// character's boundary.
void textcat(char *m, size_t size, const char *z);
void textcatnum(char *m, size_t size, unsigned long long v);

// One JSON string literal, quotes included, as Python's json.dumps with
// ensure_ascii=False writes it, and then < > & U+2028 U+2029 as \u
// escapes, so that it is safe in a <script> too. s must be UTF-8. jsonlen
// is its length; jsonquote writes it and a NUL, and returns where the NUL
// is.
size_t jsonlen(const char *s);
char *jsonquote(char *out, const char *s);
// The escaped body of n bytes at s, with no quotes, written to out where
// it is not null; returns its length.
size_t jsonbody(char *out, const char *s, size_t n);

// The civil calendar: whether y, m, d is a date (m from 1 to 12, d in
// the month, February 29 in a leap year alone); the day count from
// 1970-01-01 of a date, the day of t seconds since the epoch (rounded
// down), and the year of a day count.
bool civildate(long y, long m, long d);
long long daysfrom(long y, unsigned m, unsigned d);
long dayof(long long t);
long yearof(long z);

#endif
