// The bytes that keys and tokens are drawn from: the kernel's, with no
// fallback to anything weaker.
#include <cerrno>
#include <sys/random.h>

#include "trust.h"

bool randbytes(void *p, size_t n)
{
	unsigned char *to = static_cast<unsigned char *>(p);
	while (n > 0) {
		ssize_t got = getrandom(to, n, 0);
		if (got < 0 && errno == EINTR)
			continue;
		if (got <= 0) {
			// errno says why; a call that gave nothing without one
			// says so too, never "Success".
			if (got == 0 || errno == 0)
				errno = EIO;
			return false;
		}
		to += got, n -= static_cast<size_t>(got);
	}
	return true;
}
