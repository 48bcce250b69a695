// What a script needs to trust a request, with no bash in it: SHA-1,
// SHA-256, SHA-384 and SHA-512 (FIPS 180-4) and HMAC over each (RFC 2104), fed in
// pieces so that a body is hashed as it is read; a comparison whose time
// depends on the lengths alone; hex, base64 and base64url (RFC 4648),
// read strictly; random bytes from the kernel. Whatever held a key or a
// hash's state is wiped when it is done with.
#ifndef TRUST_H
#define TRUST_H
#include <cstddef>
#include <cstdint>
#include <cstring>

enum hashalg { alg_sha1, alg_sha256, alg_sha512, alg_sha384 };
enum { hashmost = 64, blockmost = 128 };	// the largest digest and block
size_t hashsize(hashalg a);			// 20, 32, 64, 48 bytes
size_t hashblock(hashalg a);			// 64, 64, 128, 128 bytes
// "sha1", "sha256", "sha512" or "sha384" to its hash; false for any
// other name.
bool hashnamed(const char *name, hashalg *a);

// A hash being fed.
struct hash {
	hashalg alg;
	uint32_t h32[8];
	uint64_t h64[8];
	unsigned char block[blockmost];
	size_t fill;			// bytes in block
	uint64_t bytes;			// fed so far
};
void hashstart(hash *h, hashalg a);
void hashadd(hash *h, const void *p, size_t n);
// The digest, hashsize bytes at out; h is wiped.
void hashend(hash *h, unsigned char *out);
// Whether SHA-1 and SHA-256 keep to the portable code where the CPU has
// instructions of its own, to measure and test both.
void hashportable(bool portable);

// HMAC: the inner hash being fed, and the outer one keyed already.
struct hmac {
	hash in, out;
};
void hmacstart(hmac *m, hashalg a, const void *key, size_t n);
void hmacadd(hmac *m, const void *p, size_t n);
void hmacend(hmac *m, unsigned char *out);

// Whether a and b hold the same bytes, in a time that depends on their
// lengths alone, never on where they first differ.
bool sameconst(const void *a, size_t an, const void *b, size_t bn);
// Sets n bytes at p to zero, where the compiler cannot leave it out.
inline void wipe(void *p, size_t n)
{
	explicit_bzero(p, n);
}
// n bytes from getrandom(2); false, with errno, where the kernel gives none.
bool randbytes(void *p, size_t n);

// The encodings. Hex is written in lower case and read in either;
// base64url is written without padding where pad is false.
enum basekind { base_hex, base_64, base_64url };
size_t baselen(basekind k, size_t n, bool pad);	// the encoding's length
// Writes n bytes' encoding at to, and a NUL; returns its length.
size_t baseout(basekind k, char *to, const void *from, size_t n, bool pad);
// How padding is read: required (base64), refused, or taken where given
// and correct (base64url).
enum basepad { pad_must, pad_never, pad_may };
// Decodes n characters at from into to (room for n * 3 / 4 + 1 bytes will
// do), and sets *len to the bytes written. Anything but the one canonical
// encoding is refused: a character outside the alphabet, a blank or a
// line break, the other alphabet of base64, padding missing, misplaced or
// where none belongs, a length no encoding has, bits left over that are
// not zero. Then the reason is returned, and *len is the offset of the
// character at fault.
const char *basein(basekind k, basepad p, const char *from, size_t n, unsigned char *to, size_t *len);
// A public-key signature over msglen bytes at msg: Ed25519 (RFC 8032),
// its key 32 bytes and its signature 64; or ECDSA over P-256 with
// SHA-256, its key 04, x and y (65 bytes) or that in a
// SubjectPublicKeyInfo in DER, its signature DER's ECDSA-Sig-Value or,
// with rs, r and s of 32 bytes each. *good says whether it holds; what
// is not a signature in its form does not. The library that checks it
// is opened at the first call. Null, or why no answer can be had: a key
// that is none, a library that cannot be loaded.
enum sigalg { sig_ed25519, sig_p256 };
// Whether alg's library can be had (opened now, where it was not): null,
// or why not; and whether n bytes are a key of alg's in a form that
// sigcheck takes.
const char *sigready(sigalg alg);
bool sigkey(sigalg alg, const unsigned char *key, size_t n);
const char *sigcheck(sigalg alg, const unsigned char *key, size_t keylen, const unsigned char *sig, size_t siglen,
		     bool rs, const void *msg, size_t msglen, bool *good);

// Base32 (RFC 4648 section 6), as one-time passwords' secrets are
// written: upper case, with its padding or none, and nothing else (a
// blank, a lower-case letter, bits left over). Decodes n characters at
// from into to (n * 5 / 8 + 1 bytes will do); null, or why not, with
// *len the offset of the character at fault.
const char *base32in(const char *from, size_t n, unsigned char *to, size_t *len);
// a / b (b not 0) by shifts and subtractions: a division of 64 bits by a
// variable needs a routine of libgcc's on some machines, which a program
// would then have to load.
unsigned long long quotient(unsigned long long a, unsigned long long b);
// The HOTP value (RFC 4226) of a key and a counter, of digits decimal
// digits (6 to 8), under alg; TOTP is this of the time step.
unsigned long hotp(hashalg alg, const void *key, size_t n, uint64_t counter, int digits);

#endif
