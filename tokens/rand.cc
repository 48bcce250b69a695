// randtoken: bytes from the kernel, in hex or base64url.
#include <cerrno>
#include <cstring>

#include "intern.h"

char *randtokenrun(int argc, char *const argv[], keyvarfn *, size_t *n, const char **why)
{
	job j = {};
	*n = 0;
	if ((*why = options("randtoken", argc, argv, &j)) != nullptr)
		return nullptr;
	unsigned char raw[tokenmost];
	char text[2 * tokenmost + 1];
	errno = 0;
	if (!randbytes(raw, j.count)) {
		*why = says("no random bytes from the kernel: getrandom: ", strerror(errno));
		return nullptr;
	}
	size_t len = baseout(j.urlsafe ? base_64url : base_hex, text, raw, j.count, false);
	char *out = result(text, len, n);
	wipe(raw, sizeof raw);
	wipe(text, sizeof text);
	if (out == nullptr)
		*why = "cannot allocate the result";
	return out;
}
