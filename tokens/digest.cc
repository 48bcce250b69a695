// hmac: the HMAC of a string or of standard input, or with no key its
// digest, written in hex or base64, or compared in constant time.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "intern.h"

char *hmacrun(int argc, char *const argv[], keyvarfn *var, size_t *len, const char **why)
{
	job jb = {};
	const job *j = &jb;
	hashalg alg = alg_sha256;
	*len = 0;
	if ((*why = options("hmac", argc, argv, &jb)) != nullptr)
		return nullptr;
	if (jb.algname != nullptr && !hashnamed(jb.algname, &alg)) {
		*why = says("-a: no such hash, of sha1, sha256, sha384 and sha512: ", jb.algname);
		badline = true;
		return nullptr;
	}
	bytes keys[keysmost] = {};
	int nkeys = j->nfiles + j->nvars;
	hmac m[keysmost];
	hash plain;
	char *out = nullptr;
	if ((*why = loadkeys(j, var, keys)) != nullptr)
		goto done;
	for (int k = 0; k < nkeys; k++)
		hmacstart(&m[k], alg, keys[k].p, keys[k].n);
	hashstart(&plain, alg);
	if (j->string != nullptr) {
		for (int k = 0; k < nkeys; k++)
			hmacadd(&m[k], j->string, strlen(j->string));
		if (nkeys == 0)
			hashadd(&plain, j->string, strlen(j->string));
	} else {
		// Standard input is hashed as it is read, whatever its length.
		unsigned char buf[65536];
		for (;;) {
			ssize_t got = read(0, buf, sizeof buf);
			if (got < 0 && errno == EINTR)
				continue;
			if (got < 0) {
				*why = says("standard input: ", strerror(errno));
				goto done;
			}
			if (got == 0)
				break;
			for (int k = 0; k < nkeys; k++)
				hmacadd(&m[k], buf, static_cast<size_t>(got));
			if (nkeys == 0)
				hashadd(&plain, buf, static_cast<size_t>(got));
		}
		wipe(buf, sizeof buf);
	}
	{
		unsigned char mac[keysmost][hashmost], want[hashmost * 2];
		size_t size = hashsize(alg), wantn = 0;
		for (int k = 0; k < nkeys; k++)
			hmacend(&m[k], mac[k]);
		if (nkeys == 0)
			hashend(&plain, mac[0]);
		wipe(&plain, sizeof plain);
		if (j->expect != nullptr) {
			// EXPECTED in the form that -b or -u says, hex without
			// regard to case; a malformed one matches nothing.
			size_t n = strlen(j->expect);
			basekind form = j->b64out ? base_64 : j->urlsafe ? base_64url : base_hex;
			bool good = n <= 2 * size + 4 &&
				    basein(form, form == base_64 ? pad_must : pad_may, j->expect, n, want, &wantn) == nullptr;
			bool match = false;
			for (int k = 0; k < (nkeys > 0 ? nkeys : 1); k++)
				match |= sameconst(mac[k], size, want, good ? wantn : 0) && good;
			out = match ? result("", 0, len) : nullptr;
			if (match && out == nullptr)
				*why = "cannot allocate the result";
		} else {
			char text[hashmost * 2 + 1];
			basekind form = j->b64out ? base_64 : j->urlsafe ? base_64url : base_hex;
			size_t n = baseout(form, text, mac[0], size, j->b64out);
			if ((out = result(text, n, len)) == nullptr)
				*why = "cannot allocate the result";
		}
		wipe(mac, sizeof *mac * static_cast<size_t>(nkeys > 0 ? nkeys : 1));
		wipe(want, sizeof want);
	}
done:
	for (int k = 0; k < keysmost; k++)
		drop(&keys[k]);
	wipe(m, sizeof *m * static_cast<size_t>(nkeys));	// the rest were never keyed
	return out;
}

