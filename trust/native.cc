// SHA-1 and SHA-256 by the SHA extensions of x86-64, where the CPU has
// them: some four times as fast as the portable code. Compiled for those
// instructions alone, and called only once the CPU has said it has them.
#include "intern.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>

static bool hasext()
{
	unsigned a, b, c, d;
	if (!__get_cpuid(1, &a, &b, &c, &d) || (c & bit_SSSE3) == 0 || (c & bit_SSE4_1) == 0)
		return false;
	return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA) != 0;
}

#define EXT __attribute__((target("sha,sse4.1,ssse3")))

EXT static void sha256ext(uint32_t *h, const unsigned char *p, size_t blocks)
{
	// The words big-endian, and the state as the instructions hold it:
	// A B E F in one register, C D G H in the other.
	const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
	__m128i t = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(h)), 0xB1);
	__m128i s1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(h + 4)), 0x1B);
	__m128i s0 = _mm_alignr_epi8(t, s1, 8);
	s1 = _mm_blend_epi16(s1, t, 0xF0);
	for (; blocks > 0; blocks--, p += 64) {
		__m128i save0 = s0, save1 = s1, m[4];
#pragma GCC unroll 16
		for (int g = 0; g < 16; g++) {
			__m128i &w = m[g % 4];
			if (g < 4) {
				w = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * g)), swap);
			} else {
				__m128i last = m[(g + 3) % 4];
				w = _mm_add_epi32(_mm_sha256msg1_epu32(w, m[(g + 1) % 4]), _mm_alignr_epi8(last, m[(g + 2) % 4], 4));
				w = _mm_sha256msg2_epu32(w, last);
			}
			__m128i x = _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i *>(k256 + 4 * g)));
			s1 = _mm_sha256rnds2_epu32(s1, s0, x);
			s0 = _mm_sha256rnds2_epu32(s0, s1, _mm_shuffle_epi32(x, 0x0E));
		}
		s0 = _mm_add_epi32(s0, save0);
		s1 = _mm_add_epi32(s1, save1);
	}
	t = _mm_shuffle_epi32(s0, 0x1B);
	s1 = _mm_shuffle_epi32(s1, 0xB1);
	_mm_storeu_si128(reinterpret_cast<__m128i *>(h), _mm_blend_epi16(t, s1, 0xF0));
	_mm_storeu_si128(reinterpret_cast<__m128i *>(h + 4), _mm_alignr_epi8(s1, t, 8));
}

EXT static void sha1ext(uint32_t *h, const unsigned char *p, size_t blocks)
{
	const __m128i swap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
	__m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(h)), 0x1B);
	__m128i e = _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0);
	for (; blocks > 0; blocks--, p += 64) {
		__m128i save = abcd, last = abcd, m[4];
#pragma GCC unroll 20
		for (int g = 0; g < 20; g++) {
			__m128i &w = m[g % 4];
			if (g < 4)
				w = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * g)), swap);
			else
				w = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w, m[(g + 1) % 4]), m[(g + 2) % 4]),
						       m[(g + 3) % 4]);
			// E for these four rounds: the block's first from the
			// state, each later one from A four rounds back.
			__m128i x = g == 0 ? _mm_add_epi32(e, w) : _mm_sha1nexte_epu32(last, w);
			last = abcd;
			switch (g / 5) {
			case 0: abcd = _mm_sha1rnds4_epu32(abcd, x, 0); break;
			case 1: abcd = _mm_sha1rnds4_epu32(abcd, x, 1); break;
			case 2: abcd = _mm_sha1rnds4_epu32(abcd, x, 2); break;
			default: abcd = _mm_sha1rnds4_epu32(abcd, x, 3); break;
			}
		}
		e = _mm_sha1nexte_epu32(last, e);
		abcd = _mm_add_epi32(abcd, save);
	}
	_mm_storeu_si128(reinterpret_cast<__m128i *>(h), _mm_shuffle_epi32(abcd, 0x1B));
	h[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

blocksfn *sha1native()
{
	return hasext() ? sha1ext : nullptr;
}

blocksfn *sha256native()
{
	return hasext() ? sha256ext : nullptr;
}
#else
blocksfn *sha1native()
{
	return nullptr;
}

blocksfn *sha256native()
{
	return nullptr;
}
#endif
