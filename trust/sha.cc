// SHA-1, SHA-256, SHA-384 and SHA-512 in portable C: words are loaded and stored a
// byte at a time, big-endian whatever the host, so every architecture
// gives the same bytes. On x86-64 with the SHA extensions, SHA-1 and
// SHA-256 take their blocks there, asked of the CPU at the first hash and
// not when a program or the builtins' object is loaded.
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "intern.h"
#include "trust.h"

const uint32_t k256[64] = {
	0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
	0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
	0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
	0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
	0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
	0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
	0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
	0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};
static const uint64_t k512[80] = {
	0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
	0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
	0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
	0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
	0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
	0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
	0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
	0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
	0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
	0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
	0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
	0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
	0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
	0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
	0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
	0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
	0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
	0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
	0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
	0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL,
};
static const uint32_t h1[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
static const uint32_t h256[8] = {
	0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};
// SHA-384 is SHA-512 from other initial values, cut short.
static const uint64_t h384[8] = {
	0xcbbb9d5dc1059ed8ULL, 0x629a292a367cd507ULL, 0x9159015a3070dd17ULL, 0x152fecd8f70e5939ULL,
	0x67332667ffc00b31ULL, 0x8eb44a8768581511ULL, 0xdb0c2e0d64f98fa7ULL, 0x47b5481dbefa4fa4ULL,
};
static const uint64_t h512[8] = {
	0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
	0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL,
};

static inline uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
static inline uint32_t ror(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
static inline uint64_t ror64(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

static inline uint32_t load32(const unsigned char *p)
{
	return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
	       static_cast<uint32_t>(p[2]) << 8 | p[3];
}

static inline uint64_t load64(const unsigned char *p)
{
	return static_cast<uint64_t>(load32(p)) << 32 | load32(p + 4);
}

void sha1portable(uint32_t *h, const unsigned char *p, size_t blocks)
{
	uint32_t w[80];
	for (; blocks > 0; blocks--, p += 64) {
		for (int i = 0; i < 16; i++)
			w[i] = load32(p + 4 * i);
		for (int i = 16; i < 80; i++)
			w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
		uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
		for (int i = 0; i < 80; i++) {
			uint32_t f, k;
			if (i < 20)
				f = (b & c) | (~b & d), k = 0x5a827999;
			else if (i < 40)
				f = b ^ c ^ d, k = 0x6ed9eba1;
			else if (i < 60)
				f = (b & c) | (b & d) | (c & d), k = 0x8f1bbcdc;
			else
				f = b ^ c ^ d, k = 0xca62c1d6;
			uint32_t t = rol(a, 5) + f + e + k + w[i];
			e = d, d = c, c = rol(b, 30), b = a, a = t;
		}
		h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
	}
	wipe(w, sizeof w);
}

// The rounds unrolled eight at a time, the eight words renamed in turn
// rather than moved; each round takes its word of the schedule with its
// constant added (x), here kept in sixteen words, computed as the rounds
// need it, and on x86-64 made ahead in vector registers.
// Each sum of rotations as one rotation of a sum of others, which moves
// fewer copies of a word; Maj as b ^ ((a ^ b) & (b ^ c)), where b ^ c is
// the round before's a ^ b, kept.
#define BIG0(x) ror(ror(ror(x, 9) ^ (x), 11) ^ (x), 2)
#define BIG1(x) ror(ror(ror(x, 14) ^ (x), 5) ^ (x), 6)
#define SMALL0(x) (ror(ror(x, 11) ^ (x), 7) ^ ((x) >> 3))
#define SMALL1(x) (ror(ror(x, 2) ^ (x), 17) ^ ((x) >> 10))
#define STEP(i) (w[(i) & 15] += SMALL1(w[((i) - 2) & 15]) + w[((i) - 7) & 15] + SMALL0(w[((i) - 15) & 15]))
#define ROUND(a, b, c, d, e, f, g, h, i, x, ab, bc)                                          \
	do {                                                                                   \
		uint32_t t = h + BIG1(e) + (g ^ (e & (f ^ g))) + (x);                          \
		d += t;                                                                        \
		ab = a ^ b;                                                                    \
		h = t + BIG0(a) + (b ^ (ab & bc));                                             \
	} while (0)
#define FOUR(i, X)                                              \
	do {                                                    \
		ROUND(a, b, c, d, e, f, g, hh, i, X(i), u, v);         \
		ROUND(hh, a, b, c, d, e, f, g, i + 1, X(i + 1), v, u); \
		ROUND(g, hh, a, b, c, d, e, f, i + 2, X(i + 2), u, v); \
		ROUND(f, g, hh, a, b, c, d, e, i + 3, X(i + 3), v, u); \
	} while (0)
#define FOURMORE(i, X)                                          \
	do {                                                    \
		ROUND(e, f, g, hh, a, b, c, d, i + 4, X(i + 4), u, v); \
		ROUND(d, e, f, g, hh, a, b, c, i + 5, X(i + 5), v, u); \
		ROUND(c, d, e, f, g, hh, a, b, i + 6, X(i + 6), u, v); \
		ROUND(b, c, d, e, f, g, hh, a, i + 7, X(i + 7), v, u); \
	} while (0)
#define EIGHT(i, X)              \
	do {                     \
		FOUR(i, X);      \
		FOURMORE(i, X);  \
	} while (0)
#define GIVEN(i) (w[i] + k256[i])
#define NEXT(i) (STEP(i) + k256[i])
#define SUMMED(i) wk[i]

#ifdef __SSE2__
// On x86-64 the schedule is made four words at a time in the vector
// registers that every such CPU has, and the round constants added to it
// there: a third fewer instructions a block than a word at a time. The
// words are the same, so is the digest.
static inline __m128i ror4(__m128i x, int n)
{
	return _mm_or_si128(_mm_srli_epi32(x, n), _mm_slli_epi32(x, 32 - n));
}

static inline __m128i small0x4(__m128i x)
{
	return _mm_xor_si128(_mm_xor_si128(ror4(x, 7), ror4(x, 18)), _mm_srli_epi32(x, 3));
}

// sigma1 of two words, each doubled into 64 bits (lanes 0 and 1, 2 and 3),
// where a shift of the pair is a rotation of the word: the results in
// lanes 0 and 2.
static inline __m128i small1x2(__m128i d)
{
	__m128i s = _mm_srli_epi32(d, 10);
	d = _mm_srli_epi64(d, 17);
	s = _mm_xor_si128(s, d);
	return _mm_xor_si128(s, _mm_srli_epi64(d, 2));
}

// A block's first sixteen words, big-endian, in w, and with their round
// constants added in wk.
static inline void first(uint32_t *wk, __m128i *w, const unsigned char *p)
{
	__m128i *v = reinterpret_cast<__m128i *>(wk);
	const __m128i *k = reinterpret_cast<const __m128i *>(k256);
	for (int q = 0; q < 4; q++) {
		__m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p) + q);
		x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xB1), 0xB1);
		w[q] = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
		_mm_store_si128(v + q, _mm_add_epi32(w[q], _mm_loadu_si128(k + q)));
	}
}

// Words 4q to 4q + 3 of the schedule from the sixteen before them, which
// w holds, four to a register, the oldest at q % 4; and in wk with their
// constants added.
static inline void next(uint32_t *wk, __m128i *w, int q)
{
	__m128i a = w[q & 3], b = w[(q + 1) & 3], c = w[(q + 2) & 3], d = w[(q + 3) & 3];
	// Words i - 15 to i - 12, and i - 7 to i - 4.
	__m128i w15 = _mm_or_si128(_mm_srli_si128(a, 4), _mm_slli_si128(b, 12));
	__m128i w7 = _mm_or_si128(_mm_srli_si128(c, 4), _mm_slli_si128(d, 12));
	__m128i t = _mm_add_epi32(_mm_add_epi32(a, small0x4(w15)), w7);
	// The first two words take sigma1 of words i - 2 and i - 1, the
	// last two that of the first two.
	__m128i s1 = _mm_shuffle_epi32(small1x2(_mm_shuffle_epi32(d, 0xFA)), 0x08);
	t = _mm_add_epi32(t, _mm_move_epi64(s1));
	s1 = _mm_shuffle_epi32(small1x2(_mm_shuffle_epi32(t, 0x50)), 0x08);
	t = _mm_add_epi32(t, _mm_slli_si128(s1, 8));
	w[q & 3] = t;
	_mm_store_si128(reinterpret_cast<__m128i *>(wk) + q,
			_mm_add_epi32(t, _mm_loadu_si128(reinterpret_cast<const __m128i *>(k256) + q)));
}

void sha256portable(uint32_t *h, const unsigned char *p, size_t blocks)
{
	alignas(16) uint32_t wk[64];
	for (; blocks > 0; blocks--, p += 64) {
		__m128i w[4];
		first(wk, w, p);
		uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
		uint32_t u, v = b ^ c;
		// Eight words of the schedule made beside each eight rounds,
		// which take words made at least eight rounds before: the vector
		// unit works while the rounds wait on each other.
#pragma GCC unroll 8
		for (int i = 0; i < 64; i += 8) {
			if (i < 48)
				next(wk, w, i / 4 + 4);
			FOUR(i, SUMMED);
			if (i < 48)
				next(wk, w, i / 4 + 5);
			FOURMORE(i, SUMMED);
		}
		h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
	}
	wipe(wk, sizeof wk);
}
#else
void sha256portable(uint32_t *h, const unsigned char *p, size_t blocks)
{
	uint32_t w[16];
	for (; blocks > 0; blocks--, p += 64) {
		for (int i = 0; i < 16; i++)
			w[i] = load32(p + 4 * i);
		uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
		uint32_t u, v = b ^ c;
		EIGHT(0, GIVEN);
		EIGHT(8, GIVEN);
#pragma GCC unroll 6
		for (int i = 16; i < 64; i += 8)
			EIGHT(i, NEXT);
		h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
	}
	wipe(w, sizeof w);
}
#endif

static void sha512blocks(uint64_t *h, const unsigned char *p, size_t blocks)
{
	uint64_t w[80];
	for (; blocks > 0; blocks--, p += 128) {
		for (int i = 0; i < 16; i++)
			w[i] = load64(p + 8 * i);
		for (int i = 16; i < 80; i++) {
			uint64_t s0 = ror64(w[i - 15], 1) ^ ror64(w[i - 15], 8) ^ (w[i - 15] >> 7);
			uint64_t s1 = ror64(w[i - 2], 19) ^ ror64(w[i - 2], 61) ^ (w[i - 2] >> 6);
			w[i] = w[i - 16] + s0 + w[i - 7] + s1;
		}
		uint64_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
		for (int i = 0; i < 80; i++) {
			uint64_t t1 = hh + (ror64(e, 14) ^ ror64(e, 18) ^ ror64(e, 41)) + ((e & f) ^ (~e & g)) + k512[i] + w[i];
			uint64_t t2 = (ror64(a, 28) ^ ror64(a, 34) ^ ror64(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
			hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
		}
		h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
	}
	wipe(w, sizeof w);
}

// Which routine takes the blocks: the CPU's own where it has them.
static blocksfn *sha1fn, *sha256fn;

void hashportable(bool portable)
{
	sha1fn = portable ? sha1portable : nullptr;
	sha256fn = portable ? sha256portable : nullptr;
}

static void blocks(hash *h, const unsigned char *p, size_t n)
{
	if (h->alg >= alg_sha512) {
		sha512blocks(h->h64, p, n);
		return;
	}
	blocksfn **fn = h->alg == alg_sha1 ? &sha1fn : &sha256fn;
	if (*fn == nullptr) {
		blocksfn *fast = h->alg == alg_sha1 ? sha1native() : sha256native();
		*fn = fast != nullptr ? fast : h->alg == alg_sha1 ? sha1portable : sha256portable;
	}
	(*fn)(h->h32, p, n);
}

size_t hashsize(hashalg a)
{
	return a == alg_sha1 ? 20 : a == alg_sha256 ? 32 : a == alg_sha384 ? 48 : 64;
}

size_t hashblock(hashalg a)
{
	return a >= alg_sha512 ? 128 : 64;
}

// Bytes set and compared by hand, as each function of the C library
// costs a program a symbol to bind when it starts.
static bool same(const char *a, const char *b)
{
	for (; *a != '\0' && *a == *b; a++, b++)
		;
	return *a == *b;
}

static void zero(void *p, size_t n)
{
	unsigned char *b = static_cast<unsigned char *>(p);
	for (size_t i = 0; i < n; i++)
		b[i] = 0;
}

bool hashnamed(const char *name, hashalg *a)
{
	static const char *const names[] = {"sha1", "sha256", "sha512", "sha384"};
	for (int i = 0; i < 4; i++)
		if (same(name, names[i])) {
			*a = static_cast<hashalg>(i);
			return true;
		}
	return false;
}

void hashstart(hash *h, hashalg a)
{
	h->alg = a;
	h->fill = 0;
	h->bytes = 0;
	if (a == alg_sha512)
		memcpy(h->h64, h512, sizeof h512);
	else if (a == alg_sha384)
		memcpy(h->h64, h384, sizeof h384);
	else if (a == alg_sha256)
		memcpy(h->h32, h256, sizeof h256);
	else
		memcpy(h->h32, h1, sizeof h1);
}

void hashadd(hash *h, const void *data, size_t n)
{
	const unsigned char *p = static_cast<const unsigned char *>(data);
	// A block is 64 or 128 bytes: shifts and masks, as a division by a
	// variable needs a routine of libgcc's on some machines.
	size_t size = hashblock(h->alg), shift = size == 128 ? 7 : 6;
	h->bytes += n;
	if (h->fill > 0) {
		size_t take = size - h->fill < n ? size - h->fill : n;
		memcpy(h->block + h->fill, p, take);
		h->fill += take, p += take, n -= take;
		if (h->fill < size)
			return;
		blocks(h, h->block, 1);
		h->fill = 0;
	}
	// Whole blocks straight from the caller's bytes, the rest kept.
	blocks(h, p, n >> shift);
	p += n >> shift << shift, n &= size - 1;
	memcpy(h->block, p, n);
	h->fill = n;
}

void hashend(hash *h, unsigned char *out)
{
	size_t size = hashblock(h->alg), lenbytes = size / 8;
	uint64_t bits = h->bytes << 3, high = h->bytes >> 61;
	h->block[h->fill++] = 0x80;
	if (h->fill > size - lenbytes) {
		zero(h->block + h->fill, size - h->fill);
		blocks(h, h->block, 1);
		h->fill = 0;
	}
	zero(h->block + h->fill, size - h->fill);
	for (size_t i = 0; i < 8; i++) {
		h->block[size - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
		if (lenbytes == 16)
			h->block[size - 9 - i] = static_cast<unsigned char>(high >> (8 * i));
	}
	blocks(h, h->block, 1);
	size_t n = hashsize(h->alg);
	for (size_t i = 0; i < n; i++)
		out[i] = static_cast<unsigned char>(h->alg >= alg_sha512 ? h->h64[i / 8] >> (56 - 8 * (i % 8))
								 : h->h32[i / 4] >> (24 - 8 * (i % 4)));
	wipe(h, sizeof *h);
}
