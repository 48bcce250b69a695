// Public-key signatures, checked by well-kept Debian libraries opened the
// first time one is asked for, never when a program starts or a builtin
// loads: Ed25519 by libsodium, ECDSA over P-256 with SHA-256 by nettle's
// hogweed (with GMP, which it needs). What they are handed is read here
// first, strictly: a key of its one form, a signature of its one DER
// encoding or of r and s side by side.
#include <cstring>
#include <dlfcn.h>

#include "trust.h"

// What the libraries' own headers would say, as the ABI that Debian ships
// has it on every architecture: GMP's mpz_t is two ints and a pointer,
// nettle's ecc_point a curve and a pointer, its dsa_signature two mpz_t.
struct gmpz {
	int alloc, size;
	void *d;
};
struct dsasig {
	gmpz r, s;
};
struct eccpoint {
	const void *ecc;
	void *p;
};

struct sodiumlib {
	int (*init)();
	int (*verify)(const unsigned char *sig, const unsigned char *m, unsigned long long mlen, const unsigned char *pk);
};
struct nettlelib {
	const void *(*curve)();
	void (*pointinit)(eccpoint *, const void *);
	int (*pointset)(eccpoint *, const gmpz *, const gmpz *);
	void (*pointclear)(eccpoint *);
	int (*verify)(const eccpoint *, size_t, const unsigned char *, const dsasig *);
	void (*mpzinit)(gmpz *);
	void (*mpzimport)(gmpz *, size_t, int, size_t, int, size_t, const void *);
	void (*mpzclear)(gmpz *);
};

template <typename F>
static bool bind(void *h, const char *name, F *f)
{
	*f = reinterpret_cast<F>(dlsym(h, name));
	return *f != nullptr;
}

static const sodiumlib *sodium()
{
	static sodiumlib lib;
	static int state;	// 0 not tried, 1 loaded, -1 missing
	if (state == 0) {
		void *h = dlopen("libsodium.so.23", RTLD_NOW | RTLD_LOCAL);
		state = h != nullptr && bind(h, "sodium_init", &lib.init) &&
				bind(h, "crypto_sign_ed25519_verify_detached", &lib.verify) && lib.init() >= 0 ? 1 : -1;
	}
	return state == 1 ? &lib : nullptr;
}

static const nettlelib *nettle()
{
	static nettlelib lib;
	static int state;
	if (state == 0) {
		// hogweed brings nettle and GMP with it, where dlsym finds them.
		void *h = dlopen("libhogweed.so.6", RTLD_NOW | RTLD_LOCAL);
		state = h != nullptr && bind(h, "nettle_get_secp_256r1", &lib.curve) &&
				bind(h, "nettle_ecc_point_init", &lib.pointinit) && bind(h, "nettle_ecc_point_set", &lib.pointset) &&
				bind(h, "nettle_ecc_point_clear", &lib.pointclear) && bind(h, "nettle_ecdsa_verify", &lib.verify) &&
				bind(h, "__gmpz_init", &lib.mpzinit) && bind(h, "__gmpz_import", &lib.mpzimport) &&
				bind(h, "__gmpz_clear", &lib.mpzclear)
			? 1
			: -1;
	}
	return state == 1 ? &lib : nullptr;
}

// P-256's order, n: r and s lie in 1 to n - 1.
static const unsigned char order[32] = {0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff,
					0xff, 0xff, 0xff, 0xff, 0xff, 0xbc, 0xe6, 0xfa, 0xad, 0xa7, 0x17,
					0x9e, 0x84, 0xf3, 0xb9, 0xca, 0xc2, 0xfc, 0x63, 0x25, 0x51};

static bool inrange(const unsigned char *v)
{
	bool zero = true;
	for (int i = 0; i < 32; i++)
		zero = zero && v[i] == 0;
	return !zero && memcmp(v, order, 32) < 0;
}

// One DER INTEGER at *p (of the end at end), positive, in its fewest
// bytes, into 32 bytes big-endian at out; false where it is not.
static bool derint(const unsigned char **p, const unsigned char *end, unsigned char *out)
{
	const unsigned char *s = *p;
	if (end - s < 2 || s[0] != 0x02 || s[1] == 0 || s[1] >= 0x80 || end - s - 2 < s[1])
		return false;
	size_t n = s[1];
	const unsigned char *v = s + 2;
	if (v[0] & 0x80)
		return false;	// negative
	if (v[0] == 0 && (n == 1 || !(v[1] & 0x80)))
		return false;	// a zero that DER does not write
	if (v[0] == 0)
		v++, n--;
	if (n > 32)
		return false;
	memset(out, 0, 32 - n);
	memcpy(out + 32 - n, v, n);
	*p = v + n;
	return true;
}

// SEQUENCE { INTEGER r, INTEGER s } in DER alone: short lengths (what
// P-256's values need), nothing after.
static bool dersig(const unsigned char *sig, size_t n, unsigned char rs[64])
{
	if (n < 2 || sig[0] != 0x30 || sig[1] >= 0x80 || sig[1] != n - 2)
		return false;
	const unsigned char *p = sig + 2, *end = sig + n;
	return derint(&p, end, rs) && derint(&p, end, rs + 32) && p == end;
}

// The point of a P-256 public key: 65 bytes, 04, x and y; or that in a
// SubjectPublicKeyInfo of id-ecPublicKey and prime256v1, in DER.
static const unsigned char spki[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
				     0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};

static const unsigned char *point(const unsigned char *key, size_t n)
{
	if (n == sizeof spki + 65 && memcmp(key, spki, sizeof spki) == 0)
		key += sizeof spki, n -= sizeof spki;
	return n == 65 && key[0] == 0x04 ? key + 1 : nullptr;
}

const char *sigready(sigalg alg)
{
	if (alg == sig_ed25519)
		return sodium() != nullptr ? nullptr : "Ed25519 needs libsodium (Debian's libsodium23), which cannot be loaded";
	return nettle() != nullptr ? nullptr : "P-256 needs nettle (Debian's libhogweed6), which cannot be loaded";
}

bool sigkey(sigalg alg, const unsigned char *key, size_t n)
{
	return alg == sig_ed25519 ? n == 32 : point(key, n) != nullptr;
}

const char *sigcheck(sigalg alg, const unsigned char *key, size_t keylen, const unsigned char *sig, size_t siglen,
		     bool rs, const void *msg, size_t msglen, bool *good)
{
	*good = false;
	if (alg == sig_ed25519) {
		if (keylen != 32)
			return "an Ed25519 key that is not 32 bytes";
		const sodiumlib *lib = sodium();
		if (lib == nullptr)
			return sigready(alg);
		// A signature of another length is no signature, as a forger
		// learns nothing more than that it does not hold.
		*good = siglen == 64 && lib->verify(sig, static_cast<const unsigned char *>(msg), msglen, key) == 0;
		return nullptr;
	}
	const unsigned char *xy = point(key, keylen);
	if (xy == nullptr)
		return "a P-256 key that is neither 04, x and y (65 bytes) nor its SubjectPublicKeyInfo in DER";
	const nettlelib *lib = nettle();
	if (lib == nullptr)
		return sigready(alg);
	unsigned char v[64];
	bool form = rs ? siglen == 64 && (memcpy(v, sig, 64), true) : dersig(sig, siglen, v);
	if (!form || !inrange(v) || !inrange(v + 32))
		return nullptr;	// no signature: it does not hold
	gmpz x, y;
	dsasig s;
	eccpoint pub;
	lib->mpzinit(&x), lib->mpzinit(&y), lib->mpzinit(&s.r), lib->mpzinit(&s.s);
	lib->mpzimport(&x, 32, 1, 1, 1, 0, xy);
	lib->mpzimport(&y, 32, 1, 1, 1, 0, xy + 32);
	lib->mpzimport(&s.r, 32, 1, 1, 1, 0, v);
	lib->mpzimport(&s.s, 32, 1, 1, 1, 0, v + 32);
	lib->pointinit(&pub, lib->curve());
	const char *why = nullptr;
	if (lib->pointset(&pub, &x, &y) != 1) {
		why = "a P-256 key that is not a point of the curve";
	} else {
		unsigned char digest[32];
		hash h;
		hashstart(&h, alg_sha256);
		hashadd(&h, msg, msglen);
		hashend(&h, digest);
		*good = lib->verify(&pub, sizeof digest, digest, &s) == 1;
	}
	lib->pointclear(&pub);
	lib->mpzclear(&x), lib->mpzclear(&y), lib->mpzclear(&s.r), lib->mpzclear(&s.s);
	return why;
}
