// HTTP as a client reads it, with no bash in it: a response's head as
// curl -D or curl -i writes it, and the values of the fields that a script
// acts on (Link, dates, Retry-After, Content-Disposition, WWW-Authenticate
// and structured fields), each by its grammar, what the grammar refuses
// refused. The httphead program, its builtin, the tests and the fuzz
// target share it.
#ifndef HTTP_H
#define HTTP_H

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

#include "json.h"

// What a reading gives: pairs of a key and a value, each a NUL-ended
// string in one buffer, in order, and for each pair a type (a static
// string, or null). Keys may repeat; a reader of one value takes the
// first.
struct httppair {
	size_t key, value;	// offsets into text
	const char *type;
};
struct httpout {
	jsonbuf text;
	httppair *p;
	size_t n, cap;
	bool bad;		// out of memory
};
void httpfree(httpout *o);
void httpclear(httpout *o);
// Room made at once for pairs more pairs and bytes more bytes of them.
void httpreserve(httpout *o, size_t pairs, size_t bytes);
// Appends a pair, the value made of n bytes at v.
void httpput(httpout *o, const char *k, size_t kn, const char *v, size_t vn, const char *type);
inline const char *httpkey(const httpout *o, size_t i)
{
	return o->text.p + o->p[i].key;
}
inline const char *httpvalue(const httpout *o, size_t i)
{
	return o->text.p + o->p[i].value;
}
// The first pair whose key is key, or -1.
long httpfind(const httpout *o, const char *key);

// A response's head: the last of those in the input (a 100 Continue and
// each redirect come before the final one). Its pairs are ":status",
// ":reason" and ":version" (as "HTTP/1.1" or "HTTP/2"), then each field by
// its lower-cased name, in the order of first appearance, the lines of a
// repeated field joined with ", "; each Set-Cookie line is a pair of its
// own, "set-cookie", typed "cookie", never joined. A line that begins
// with a blank (obs-fold) is joined to the one before by a space, or
// with strict refused.
struct headlimits {
	size_t bytes, fields;
	bool strict;
};
enum : size_t { headbytes = 64 << 10, headfields = 1000 };
// The heads read from fd with rd (read(2) where it is null), whatever
// follows the last of them (curl -i's body) read and dropped. Returns
// null, or why the input was refused.
const char *headread(int fd, ssize_t (*rd)(int, char *, size_t), const headlimits *lim, httpout *o);
// The same on n bytes at s.
const char *headmem(const char *s, size_t n, const headlimits *lim, httpout *o);

// One field's value by its grammar, the lines of a field given as one
// value, joined with ", " first. now is the time that a date is measured
// from (retry-after), and that a two-digit year is read near (date).
struct url;
struct fieldjob {
	const url *base;	// links are resolved against it, or absolute
	long long now;
	bool strict;
};
// The grammars by name: "link", "date", "retry-after", "disposition",
// "auth", "sf-item", "sf-list", "sf-dict". Returns one of them, or null.
typedef const char *fieldreader(const char *s, size_t n, const fieldjob *j, httpout *o);
fieldreader *fieldnamed(const char *name);

// Link (RFC 8288): a pair for each link and relation type, the type as
// key (lower-cased) and the target resolved; a link
// whose context is another resource (anchor) is checked and left out.
const char *linkread(const char *s, size_t n, const fieldjob *j, httpout *o);
// An HTTP-date (IMF-fixdate, RFC 850, asctime) to seconds since the
// epoch, in *t; null, or why it is none.
const char *dateparse(const char *s, size_t n, long long now, long long *t);
// "date": the seconds; "retry-after": delay-seconds, or a date less now,
// never below 0.
const char *dateread(const char *s, size_t n, const fieldjob *j, httpout *o);
const char *retryread(const char *s, size_t n, const fieldjob *j, httpout *o);
// Content-Disposition (RFC 6266, RFC 8187): "type", then each parameter
// by lower-cased name (an ext-value decoded, as UTF-8), then "filename",
// the name a script may save under, where there is one.
const char *dispread(const char *s, size_t n, const fieldjob *j, httpout *o);
// WWW-Authenticate (RFC 9110): "N/scheme" for the challenge N (from 0),
// lower-cased, then "N/token68" or "N/PARAM" for each parameter.
const char *authread(const char *s, size_t n, const fieldjob *j, httpout *o);
// Structured fields (RFC 9651). A pair "" holds the canonical form; then
// each member by its path: "I" a list's member I (an item's is 0), "KEY" a
// dictionary's, "P/J" the member J of the inner list at P, "P/;NAME" a
// parameter of P; its value is the bare value (a string unescaped, a
// byte sequence in base64, a boolean 1 or 0, a date in seconds, a display
// string decoded, an inner list its number of members) and its type one
// of integer, decimal, string, token, binary, boolean, date,
// displaystring, innerlist.
const char *sfitem(const char *s, size_t n, const fieldjob *j, httpout *o);
const char *sflist(const char *s, size_t n, const fieldjob *j, httpout *o);
const char *sfdict(const char *s, size_t n, const fieldjob *j, httpout *o);

// A set of names, for the repeated names of a field, whatever the sender
// chose: hashed under the process's random key, so that no choice of
// names makes a slot's chain long. Each name is the caller's item i, of
// hash h (jsonhash of its bytes); same tells whether two items are one
// name. nameadd returns the item already there with i's name, or adds i
// and returns -1; -2 where there is no memory.
struct nameslot {
	uint64_t h;
	size_t i;
};
struct nameset {
	nameslot *slot;		// i + 1, 0 empty
	size_t cap, n;
};
typedef bool samename(const void *ctx, size_t a, size_t b);
long nameadd(nameset *s, uint64_t h, size_t i, samename *same, const void *ctx);
void namefree(nameset *s);

#endif
