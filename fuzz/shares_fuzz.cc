// The shares reader, fed through real descriptors, a pipe and a seekable
// file, so that both of its ways of reading run, must agree with a plain
// model built on strtoll: on success or failure, on the five values, and
// on how many bytes it took, which is the number's ending byte and nothing
// after it, or the byte that made the input bad.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "shares.h"

static bool model(const char *s, size_t n, int32_t v[5], size_t *taken)
{
	size_t p = 0;

	for (int i = 0; i < 5; i++) {
		char *end;
		errno = 0;
		long long x = strtoll(s + p, &end, 10);
		size_t e = static_cast<size_t>(end - s);
		if (e == p) {
			// No number: the bad byte is the first after blanks and a sign.
			while (p < n && s[p] != '\0' && strchr(" \t\n\v\f\r", s[p]) != nullptr)
				p++;
			if (p < n && (s[p] == '+' || s[p] == '-'))
				p++;
			*taken = p < n ? p + 1 : n;
			return false;
		}
		if (errno == ERANGE || x < INT32_MIN || x > INT32_MAX) {
			*taken = e < n ? e + 1 : n;
			return false;
		}
		v[i] = static_cast<int32_t>(x);
		p = e;
	}
	*taken = p < n ? p + 1 : n;
	return true;
}

// Reads fd with readfive and says how many bytes it took.
static bool reads(int fd, bool seekable, size_t n, int32_t v[5], size_t *taken)
{
	char msg[80];
	bool ok = readfive(fd, v, msg, sizeof msg);

	if (seekable) {
		*taken = static_cast<size_t>(lseek(fd, 0, SEEK_CUR));
	} else {
		char rest[4096];
		ssize_t r;
		*taken = n;
		while ((r = read(fd, rest, sizeof rest)) > 0)
			*taken -= static_cast<size_t>(r);
	}
	close(fd);
	return ok;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	// A pipe holds 64 KiB without a reader; five numbers need far less.
	if (size > 60000)
		return 0;
	char *s = static_cast<char *>(malloc(size + 1));
	memcpy(s, data, size);
	s[size] = '\0';
	int32_t want[5], got[5];
	size_t wtaken, taken;
	bool ok = model(s, size, want, &wtaken);

	int file = memfd_create("input", 0), p[2];
	if (file < 0 || write(file, s, size) != static_cast<ssize_t>(size) ||
	    lseek(file, 0, SEEK_SET) != 0 || pipe(p) != 0 ||
	    write(p[1], s, size) != static_cast<ssize_t>(size) || close(p[1]) != 0)
		abort();
	for (int i = 0; i < 2; i++) {
		if (reads(i == 0 ? file : p[0], i == 0, size, got, &taken) != ok ||
		    taken != wtaken || (ok && memcmp(got, want, sizeof got) != 0))
			abort();
	}
	free(s);
	return 0;
}
