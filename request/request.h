// A request's body as a CGI script gets it on standard input: exactly
// CONTENT_LENGTH bytes of the type that CONTENT_TYPE names, each wait for
// more of it bounded in time, fed as it is read to the check of a
// sender's signature, and taken apart by its type (a form's fields and
// files, a JSON text), or held whole. formdata and hookverify are its
// drivers; nothing here knows of bash.
//
// Where a signature is asked for, it is the only verdict that a request
// whose signature does not hold gets: the whole body is read and checked
// before anything that the parsers found wrong with it is said, so that a
// client without the key learns nothing of what they make of its bytes.
#ifndef REQUEST_H
#define REQUEST_H
#include <cstddef>

#include "hook.h"
#include "json.h"
#include "multipart.h"

// How a read ends: as a builtin's status, and the program's where it has
// one. unsupported is a body of a type that the caller does not take, for
// a 415 answer; unsigned_ a signature missing, malformed, wrong or stale,
// for a 401; late a wait for more of the body that ran out, as read -t
// gives.
enum reqstatus { req_ok = 0, req_bad = 1, req_unsupported = 3, req_unsigned = 4, req_late = 142 };

// A file that a part sends. It is made without a name (O_TMPFILE) and
// stays open, and so invisible, until the whole body has been read, when
// reqname links it into the folder; where the folder cannot hold such a
// file, it is made under its name at once, with mkstemp.
struct reqfile {
	char *key, *filename;
	char *path;	// once it has a name
	int fd;		// while it has none, or is being written
};

struct request {
	// Set by the caller before reqread.
	reader *rd;			// the shell's own read, or null for read(2)
	void (*interrupted)();		// a signal came during a wait
	long ms;			// each wait's bound, 0 for none
	const char *waited;		// the bound as the caller was given it
	unsigned kinds;			// the kinds taken, as 1 << formparts...
	bool whole;			// any type, held whole (hookverify)
	bool strict;			// -s: I-JSON's rules
	unsigned long long limit;	// the most CONTENT_LENGTH may be
	unsigned long long most, maxbytes;	// values, and their bytes
	const char *dir;		// where files go, or null for none
	hookcheck *hook;		// a signature to check, or null
	const char *replays;		// -R: where deliveries are recorded, or null
	long long window;		// and for how long, at least
	const char *keep[64];		// a JSON body's values to keep, as -g names
	int nkeep;			// them (jsonunder's patterns), or none for all

	// What reqread made of the body, by its kind (formparts...).
	int kind;
	char **fields;			// a multipart body's names and values
	size_t nfields, fieldcap;
	reqfile *files;
	size_t nfiles, filecap;
	char *body;			// urlencoded, or whole: bodylen bytes
	size_t bodylen;
	bool held;			// and body holds all of them
	char *copy;			// room to decode an urlencoded body in
	json *j;			// a JSON body, read
	jsonflat flat;			// and its values
	unsigned long long bytes;	// the fields' names and values so far
	unsigned long long length;	// CONTENT_LENGTH, once read
	unsigned long long checked;	// bytes read, and fed to the check
	char msg[512];			// what went wrong, in a line
	form *f;			// the body's reader, reqread's own
};

// The kinds of body that a list of multipart, urlencoded and json names
// ("json", "multipart,urlencoded"), as a set for request.kinds; 0 where a
// name is none of them.
unsigned reqkinds(const char *list);

// The check of a sender's signature by scheme s, begun from the headers
// (header, as hook.h has it) and the keys, before any of the body is
// read, for request.hook; null where it fails already, with *st req_bad
// for a key that is not in its form, else req_unsigned, and msg (size
// bytes) saying why.
hookcheck *reqsign(hookscheme s, headerfn *header, void *arg, const hookkey *keys, int n, long long tolerance,
		   const char *url, reqstatus *st, char *msg, size_t size);

// Reads the body of length bytes (CONTENT_LENGTH as it stands, or null)
// from fd, as CONTENT_TYPE type says, all that r asks: a multipart body
// into fields and files, an urlencoded one into body (no NUL, no bad
// escape), a JSON text into j and flat, or with whole, any body into
// body, to its end where no length is given. Returns the status, with
// r->msg set where it is not req_ok.
reqstatus reqread(request *r, int fd, const char *length, const char *type);

// Gives each file that reqread made without a name its name in r->dir;
// false, with r->msg set, where one cannot be had.
bool reqname(request *r);

// Frees all that r holds, closes its files, and removes them but with
// keep; wipes and frees r->hook. r itself is the caller's.
void reqfree(request *r, bool keep);

#endif
