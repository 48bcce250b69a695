// A multipart/form-data body (RFC 7578), as a CGI script gets a form with
// file inputs: read from a descriptor as a stream, a part at a time, its
// headers and then its content in pieces, so that a file of any size
// passes through a buffer of a fixed size. It reads exactly the body's
// length and never a byte more, and takes linear time whatever the body
// holds. Nothing is allocated.
#ifndef MULTIPART_H
#define MULTIPART_H

#include <cstddef>
#include <sys/types.h>

// How bytes are read: as read(2) does, or as the shell would, which runs
// its traps when a signal interrupts a read and then reads on.
typedef ssize_t reader(int fd, char *buf, size_t len);

// Reading a body within a time: each wait for more of it lasts at most ms
// milliseconds (0: no bound), and a signal that interrupts a wait runs
// interrupted, then the wait goes on; once there is something to read, rd
// reads it. waitbegin sets the bound that waitread keeps and returns the
// one before, which waitend puts back, as a trap may read a body too.
struct waiting {
	reader *rd;
	void (*interrupted)();
	long ms;
	bool timedout;		// a wait ran out
};
waiting waitbegin(reader *rd, void (*interrupted)(), long ms);
void waitend(const waiting *before);
bool waitedout();	// whether a wait has run out since waitbegin
ssize_t waitread(int fd, char *buf, size_t len);

enum {
	bufsize = 65536,	// the window that content passes through
	headsize = 8192,	// a part's headers, at most
	boundsize = 70,		// a boundary, at most (RFC 2046)
};

// A body being read. Its fields are the parser's own.
struct form {
	int fd;
	reader *rd;
	unsigned long long left;	// bytes of the body not read yet
	char delim[boundsize + 5];	// CRLF "--" boundary
	size_t dlen;
	size_t start, end;		// the bytes read but not yet taken
	bool inpart;			// between a part's headers and its end
	bool taken;			// a delimiter, just now
	bool done;			// the close delimiter, and all after it
	int kind;			// formparts, formfields, formjson...
	char head[headsize + 2];	// the part's name and filename
	char msg[160];			// what is wrong, where it names a header
	char buf[bufsize];
};

// Starts on a body: length and type are CONTENT_LENGTH and CONTENT_TYPE
// as RFC 3875 passes them, and a length over limit is refused before a
// byte is read. rd reads, or read(2) where it is null. Returns null, or
// what is wrong, in a few words.
//
// The type and each part's Content-Disposition are read by the grammar of
// RFC 2045 and RFC 7578 to the letter, and whatever it refuses is refused,
// since readers that differ on a malformed header see different fields:
// bytes after a value, a repeated parameter or Content-Disposition,
// filename* (which RFC 7578 forbids) and any other RFC 2231 parameter, a
// bare CR or LF among the headers, a backslash in a quoted string, which
// some readers take as an escape (browsers send a quote in a name as
// "%22").
const char *formbegin(form *f, int fd, reader *rd, const char *length, const char *type,
		      unsigned long long limit);
// The type alone, as formbegin reads it, into f->kind; null, or what is
// wrong with it.
const char *formtype(form *f, const char *type);

// What formbegin found the body to be: multipart/form-data, parts; or
// application/x-www-form-urlencoded, fields, read whole with formall,
// formsize bytes into buf, which has room for them (false with *why set);
// or application/json, read by the JSON reader, formsize bytes of fd; or,
// where it returned what is wrong, a type that is none of them, or
// nothing known, as the length was wrong.
enum { formparts, formfields, formjson, formunknown, formnone };
unsigned long long formsize(const form *f);
bool formall(form *f, char *buf, const char **why);

// The next part: its name and, for a file, the filename the client gave
// (null for a text field), valid until the next call. Returns 1, or 0
// after the close delimiter, when the rest of the body has been read and
// dropped, or -1 with *why set. A name or filename that holds a NUL byte,
// or a part with no name, is an error. So is a part whose headers run
// straight into the delimiter, where the CRLF that ends them would begin
// the delimiter too: readers differ on where such a part ends.
int formpart(form *f, const char **name, const char **filename, const char **why);

// The part's content, the next piece of it: returns the piece's length,
// with *data pointing at it until the next call, or 0 at the part's end,
// or -1 with *why set.
ssize_t formpiece(form *f, const char **data, const char **why);

#endif
