// Each value's percentage share of the total, and the line that shows them.
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "shares.h"

#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__)) && \
	!defined(SHARES_SOFT_EXTENDED)

// The x87 extended format: the quotient and the product are each rounded to
// its 64-bit significand, and only the product to double. That decides the
// halfway cases: 23 of 160 is exactly 14.375 here, 14.374999999999998 in
// double arithmetic. The 68881's extended format has the same significand
// but another default NaN, so the m68k takes the integers below too.
double share(int32_t v, int32_t total)
{
	long double q = static_cast<long double>(v) / total;
	return static_cast<double>(q * 100.0L);
}

#else

// The same arithmetic in integers, for targets whose long double is some
// other format, so that every target prints the same bytes. Every nonzero
// quotient is a normal number between 2^-31 and 2^31 in magnitude, and so
// is every product, which keeps this short: no subnormals, no overflow.

// Round to nearest, ties to even: m is what is kept, half the first bit
// dropped, sticky whether any bit below that was set.
static bool roundup(uint64_t m, bool half, bool sticky)
{
	return half && (sticky || (m & 1) != 0);
}

double share(int32_t v, int32_t total)
{
	uint64_t bits;

	if (total == 0) {
		// Division by zero, as x86 does it: infinities, and for 0/0 its
		// default NaN, whose sign bit is set.
		if (v == 0)
			bits = 0xFFF8000000000000u;
		else
			bits = (v < 0 ? 0xFFF0000000000000u : 0x7FF0000000000000u);
	} else if (v == 0) {
		bits = total < 0 ? 0x8000000000000000u : 0;
	} else {
		uint64_t n = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
		uint64_t d = total < 0 ? 0 - static_cast<uint64_t>(total) : static_cast<uint64_t>(total);
		int e = 0;

		// Scale so that d <= n < 2d; then |v / total| = n / d * 2^e.
		while (n < d) {
			n <<= 1;
			e--;
		}
		while (n >= 2 * d) {
			d <<= 1;
			e++;
		}

		// The quotient's 64-bit significand, bit by bit: q * 2^(e-63).
		uint64_t q = 0;
		for (int i = 0; i < 64; i++) {
			q <<= 1;
			if (n >= d) {
				n -= d;
				q |= 1;
			}
			n <<= 1;
		}
		bool half = n >= d;
		if (roundup(q, half, n != (half ? d : 0)) && ++q == 0) {
			q = 1ULL << 63;
			e++;
		}

		// Times 100: between 2^69 and 2^71, held as hi * 2^64 + lo.
		uint64_t plo = (q & 0xFFFFFFFFu) * 100;
		uint64_t pmid = (q >> 32) * 100;
		uint64_t lo = plo + (pmid << 32);
		uint64_t hi = (pmid >> 32) + (lo < plo);
		unsigned s = hi >= 64 ? 7 : 6;	// bits above the top 64
		uint64_t m = hi << (64 - s) | lo >> s;
		e += static_cast<int>(s);
		if (roundup(m, (lo >> (s - 1) & 1) != 0, (lo & ((1ULL << (s - 1)) - 1)) != 0) &&
		    ++m == 0) {
			m = 1ULL << 63;
			e++;
		}

		// Down to double's 53 bits: d53 * 2^(e-52).
		uint64_t d53 = m >> 11;
		if (roundup(d53, (m >> 10 & 1) != 0, (m & 0x3FF) != 0) && ++d53 == 1ULL << 53) {
			d53 >>= 1;
			e++;
		}
		bits = static_cast<uint64_t>(e + 1023) << 52 | (d53 & ((1ULL << 52) - 1));
		if ((v < 0) != (total < 0))
			bits |= 1ULL << 63;
	}

	double x;
	memcpy(&x, &bits, sizeof x);
	return x;
}

#endif

void formatshares(char line[linesize], const int32_t v[5])
{
	uint32_t sum = 0;

	for (int i = 0; i < 5; i++)
		sum += static_cast<uint32_t>(v[i]);
	// The total wraps in 32-bit two's complement, and the shares use it so.
	int32_t total = static_cast<int32_t>(sum);

	snprintf(line, linesize, "%4.2f %4.2f %4.2f %4.2f %4.2f %d", share(v[0], total),
		 share(v[1], total), share(v[2], total), share(v[3], total),
		 share(v[4], total), total);
}

void printshares(FILE *out, const int32_t v[5])
{
	char line[linesize];

	formatshares(line, v);
	fputs(line, out);
}

// No field holds a space, and padding only ever comes before one.
void splitshares(char *line, char *field[6])
{
	char *p = line;

	for (int i = 0; i < 6; i++) {
		p += strspn(p, " ");
		field[i] = p;
		p += strcspn(p, " ");
		if (*p != '\0')
			*p++ = '\0';
	}
}
