// The integer version of the share arithmetic, which targets without the
// x87 extended format use, must give the very bits that the x87 gives.
#include <cfloat>
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

// Take the integer arithmetic, whatever this target's long double is.
#ifndef SHARES_SOFT_EXTENDED
#define SHARES_SOFT_EXTENDED 1
#endif
#include "../shares/share.cc"

#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))

static uint64_t bits(double x)
{
	uint64_t b;
	memcpy(&b, &x, sizeof b);
	return b;
}

static void check(int32_t v, int32_t total)
{
	double want = static_cast<double>(static_cast<long double>(v) / total * 100.0L);
	ASSERT_EQ(bits(share(v, total)), bits(want)) << v << " of " << total;
}

// Every pair of small values, zero totals and the halfway cases among them.
TEST(SoftShare, SmallValues)
{
	for (int32_t total = -700; total <= 700; total++)
		for (int32_t v = -700; v <= 700; v++)
			check(v, total);
}

// The ends of the 32-bit range, and values next to powers of two, where
// the scaling and the carries out of rounding happen.
TEST(SoftShare, Extremes)
{
	std::vector<int32_t> edges = {INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX - 1,
				      0, 1, -1, 3, 100, -100, 1000000007};
	for (int k = 1; k < 31; k++) {
		int32_t p = static_cast<int32_t>(1u << k);
		for (int32_t x : {p - 1, p, p + 1, -p + 1, -p, -p - 1})
			edges.push_back(x);
	}
	for (int32_t v : edges)
		for (int32_t total : edges)
			check(v, total);
}

// Random pairs over the whole range and over narrower ones.
TEST(SoftShare, Random)
{
	uint64_t x = 0x9E3779B97F4A7C15u;
	auto next = [&x] {
		x ^= x << 13;
		x ^= x >> 7;
		x ^= x << 17;
		return x;
	};
	for (int i = 0; i < 3000000; i++) {
		uint64_t r = next();
		unsigned shift = static_cast<unsigned>(r >> 59);	// 0..31 bits kept
		auto pick = [&](uint64_t y) {
			return static_cast<int32_t>(static_cast<uint32_t>(y)) >> shift;
		};
		check(pick(next()), pick(next()));
	}
}

#else

TEST(SoftShare, NeedsX87)
{
	GTEST_SKIP() << "no x87 extended long double to compare with";
}

#endif
