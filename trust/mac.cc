// HMAC over each hash, and the comparison of MACs.
#include <cstring>

#include "trust.h"

void hmacstart(hmac *m, hashalg a, const void *key, size_t n)
{
	unsigned char pad[blockmost], digest[hashmost];
	size_t size = hashblock(a);
	if (n > size) {		// a key longer than a block is its hash
		hashstart(&m->in, a);
		hashadd(&m->in, key, n);
		hashend(&m->in, digest);
		key = digest, n = hashsize(a);
	}
	// By hand, as each function of the C library costs a program a symbol
	// to bind when it starts.
	const unsigned char *k = static_cast<const unsigned char *>(key);
	for (size_t i = 0; i < size; i++)
		pad[i] = static_cast<unsigned char>((i < n ? k[i] : 0) ^ 0x36);
	hashstart(&m->in, a);
	hashadd(&m->in, pad, size);
	for (size_t i = 0; i < size; i++)
		pad[i] ^= 0x36 ^ 0x5c;
	hashstart(&m->out, a);
	hashadd(&m->out, pad, size);
	wipe(pad, sizeof pad);
	wipe(digest, sizeof digest);
}

void hmacadd(hmac *m, const void *p, size_t n)
{
	hashadd(&m->in, p, n);
}

void hmacend(hmac *m, unsigned char *out)
{
	unsigned char inner[hashmost];
	size_t n = hashsize(m->in.alg);
	hashend(&m->in, inner);
	hashadd(&m->out, inner, n);
	hashend(&m->out, out);
	wipe(inner, sizeof inner);
}

bool sameconst(const void *a, size_t an, const void *b, size_t bn)
{
	// Every byte of b is read, against a's byte at the same place or,
	// past a's end, its first; no branch is taken on what they hold.
	const volatile unsigned char *x = static_cast<const unsigned char *>(a);
	const volatile unsigned char *y = static_cast<const unsigned char *>(b);
	unsigned char zero = 0;
	if (an == 0)
		x = &zero;
	unsigned d = an != bn;
	for (size_t i = 0; i < bn; i++)
		d |= static_cast<unsigned>(x[i < an ? i : 0] ^ y[i]);
	return d == 0;
}

