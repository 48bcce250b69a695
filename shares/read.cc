// Reading the five integers, straight from the file descriptor, so that
// nothing beyond them is taken from a caller that reads on.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "shares.h"

// What has been read and not yet taken. A pipe or a terminal is read a
// byte at a time, as the shell's own read does, since what it hands out
// cannot be put back; a seekable file is read in blocks, and the offset
// is moved back over what was not taken. Either way a byte once looked at
// is taken, so every kind of input is left at the same place.
struct input {
	int fd;
	reader *rd;
	bool seekable;
	int error;		// errno of a failed read, or 0
	int ahead;		// the byte that ended the last number, or EOF
	size_t pos, len;
	char buf[512];
};

static int next(input *in)
{
	if (in->pos == in->len) {
		ssize_t n = in->rd(in->fd, in->buf, in->seekable ? sizeof in->buf : 1);
		if (n <= 0) {
			in->error = n < 0 ? errno : 0;
			return EOF;
		}
		in->pos = 0;
		in->len = static_cast<size_t>(n);
	}
	return static_cast<unsigned char>(in->buf[in->pos++]);
}

// The white space of the C locale, as scanf skips it.
static bool space(int c)
{
	return c == ' ' || (c >= '\t' && c <= '\r');
}

// One integer, read the way "%d" reads it: white space, an optional sign,
// then digits up to the first byte that is not one, which the next number
// starts from, so that "1-2" is two numbers. Anything else is an error,
// and so is a number that does not fit in 32 bits: no value is ever made
// up or clamped.
static bool readint(input *in, int32_t *v, char *msg, size_t size)
{
	char text[36];		// the number as written, cut short, for the message
	size_t n = 0;
	bool cut = false;
	int c = in->ahead;

	while (space(c))
		c = next(in);
	bool neg = c == '-';
	if (c == '-' || c == '+') {
		text[n++] = static_cast<char>(c);
		c = next(in);
	}
	if (c < '0' || c > '9') {
		if (in->error != 0)
			snprintf(msg, size, "read error: %s", strerror(in->error));
		else
			snprintf(msg, size, "expected five integers on standard input");
		return false;
	}

	uint64_t mag = 0;	// stops growing once past every 32-bit value
	for (; c >= '0' && c <= '9'; c = next(in)) {
		// Leading zeros tell the reader of the message nothing.
		if (mag != 0 || c != '0') {
			if (n < 32)
				text[n++] = static_cast<char>(c);
			else
				cut = true;
		}
		if (mag <= 0x80000000u)
			mag = mag * 10 + static_cast<unsigned>(c - '0');
	}
	in->ahead = c;

	if (mag > (neg ? 0x80000000u : 0x7FFFFFFFu)) {
		if (cut)
			text[n++] = '.', text[n++] = '.', text[n++] = '.';
		text[n] = '\0';
		snprintf(msg, size, "number out of range: %s", text);
		return false;
	}
	*v = static_cast<int32_t>(neg ? 0 - mag : mag);
	return true;
}

static ssize_t plainread(int fd, char *buf, size_t len)
{
	return read(fd, buf, len);
}

bool readfive(int fd, int32_t v[5], char *msg, size_t size, reader *rd)
{
	input in;
	in.fd = fd;
	in.rd = rd != nullptr ? rd : plainread;
	in.seekable = lseek(fd, 0, SEEK_CUR) >= 0;
	in.error = 0;
	in.pos = in.len = 0;
	in.ahead = ' ';		// as if after white space: the first read is the first byte

	bool ok = true;
	for (int i = 0; i < 5 && ok; i++)
		ok = readint(&in, &v[i], msg, size);
	if (in.seekable && in.pos < in.len)
		lseek(fd, -static_cast<off_t>(in.len - in.pos), SEEK_CUR);
	return ok;
}
