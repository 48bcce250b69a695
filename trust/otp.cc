// One-time passwords (RFC 4226's HOTP, and RFC 6238's TOTP, which is
// HOTP of a time step), and the base32 (RFC 4648 section 6) that their
// secrets are written in.
#include <cstdint>

#include "trust.h"

const char *base32in(const char *from, size_t n, unsigned char *to, size_t *len)
{
	// Upper-case letters and 2 to 7, then padding to a multiple of eight
	// or none; a last group's length is one that some bytes have, and the
	// bits past its last byte are zero, as one text is one value.
	size_t d = 0;
	for (; d < n && from[d] != '='; d++) {
		char c = from[d];
		if (!((c >= 'A' && c <= 'Z') || (c >= '2' && c <= '7'))) {
			*len = d;
			return c >= 'a' && c <= 'z' ? "a lower-case letter, which base32 does not have"
						    : "a character outside base32's alphabet";
		}
	}
	for (size_t i = d; i < n; i++)
		if (from[i] != '=') {
			*len = i;
			return "padding before the end";
		}
	size_t rem = d % 8;
	static const int bytesof[8] = {0, -1, 1, -1, 2, 3, -1, 4};
	if (bytesof[rem] < 0) {
		*len = d;
		return "a length that no encoding has";
	}
	if (n > d && (rem == 0 || n - d != 8 - rem)) {
		*len = d;
		return "wrong padding";
	}
	uint64_t v = 0;
	size_t o = 0;
	for (size_t i = 0; i < d; i++) {
		char c = from[i];
		unsigned d5 = static_cast<unsigned>(c >= 'A' ? c - 'A' : c - '2' + 26);
		v = (v << 5 | d5) & 0xFFFFFFFFFFu;
		if (i % 8 == 7)
			for (int b = 4; b >= 0; b--)
				to[o++] = static_cast<unsigned char>(v >> (8 * b));
	}
	if (rem > 0) {
		size_t bits = 5 * rem, keep = 8 * static_cast<size_t>(bytesof[rem]);
		if ((v & ((uint64_t{1} << (bits - keep)) - 1)) != 0) {
			*len = d - 1;
			return "bits left over that are not zero (not the canonical encoding)";
		}
		for (size_t b = 0; b < static_cast<size_t>(bytesof[rem]); b++)
			to[o++] = static_cast<unsigned char>(v >> (bits - 8 * (b + 1)));
	}
	*len = o;
	return nullptr;
}

unsigned long long quotient(unsigned long long a, unsigned long long b)
{
	unsigned long long q = 0, r = 0;
	for (int i = 63; i >= 0; i--) {
		r = r << 1 | ((a >> i) & 1);
		if (r >= b)
			r -= b, q |= 1ULL << i;
	}
	return q;
}

unsigned long hotp(hashalg alg, const void *key, size_t n, uint64_t counter, int digits)
{
	unsigned char c[8], mac[hashmost];
	for (int i = 7; i >= 0; i--, counter >>= 8)
		c[i] = static_cast<unsigned char>(counter);
	hmac m;
	hmacstart(&m, alg, key, n);
	hmacadd(&m, c, sizeof c);
	hmacend(&m, mac);
	// Dynamic truncation: four bytes from where the last byte's low bits
	// say, the top bit off.
	size_t at = mac[hashsize(alg) - 1] & 15;
	unsigned long v = (static_cast<unsigned long>(mac[at] & 0x7f) << 24) | (static_cast<unsigned long>(mac[at + 1]) << 16) |
			  (static_cast<unsigned long>(mac[at + 2]) << 8) | mac[at + 3];
	wipe(mac, sizeof mac);
	// A remainder by a constant each, as one by a variable needs a routine
	// of libgcc's on some machines.
	return digits <= 6 ? v % 1000000 : digits == 7 ? v % 10000000 : v % 100000000;
}
