// b64: base64 and base64url, written and read strictly.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "intern.h"

char *b64run(int argc, char *const argv[], keyvarfn *, size_t *len, const char **why)
{
	job jb = {};
	const job *j = &jb;
	*len = 0;
	if ((*why = options("b64", argc, argv, &jb)) != nullptr)
		return nullptr;
	bytes in = {};
	const char *s = j->string;
	size_t n = s != nullptr ? strlen(s) : 0;
	char *out = nullptr;
	if (s == nullptr) {
		const char *bad = slurp(0, &in, inputmost);
		if (bad != nullptr) {
			*why = says("standard input: ", same(bad, "too long") ? "more than 64 MiB" : bad);
			drop(&in);
			return nullptr;
		}
		s = reinterpret_cast<const char *>(in.p), n = in.n;
		// A file's or a here-string's last newline ends its line.
		if (j->decode && n > 0 && s[n - 1] == '\n')
			n--;
	}
	basekind k = j->urlsafe ? base_64url : base_64;
	if (!j->decode) {
		out = static_cast<char *>(malloc(baselen(k, n, !j->urlsafe) + 1));
		if (out != nullptr)
			*len = baseout(k, out, s != nullptr ? s : "", n, !j->urlsafe);
	} else if ((out = static_cast<char *>(malloc(n / 4 * 3 + 3))) != nullptr) {
		const char *bad = basein(k, j->urlsafe ? pad_may : pad_must, s != nullptr ? s : "", n,
					 reinterpret_cast<unsigned char *>(out), len);
		if (bad != nullptr) {
			*why = says("not ", j->urlsafe ? "base64url" : "base64", ": ", bad, " at offset ", decimal(*len));
			free(out);
			out = nullptr;
		} else {
			out[*len] = '\0';
		}
	}
	if (out == nullptr && *why == nullptr)
		*why = "cannot allocate the result";
	drop(&in);
	return out;
}

