// Days of the proleptic Gregorian calendar, counted from 1970-01-01, in
// arithmetic of 32 bits: a division of 64 needs a routine of libgcc's on
// some machines, which a program would then have to load.
#include "text.h"

bool civildate(long y, long m, long d)
{
	static const long last[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
	return m >= 1 && m <= 12 && d >= 1 && d <= last[m - 1] && (m != 2 || d <= 28 || leap);
}

long long daysfrom(long y, unsigned m, unsigned d)
{
	y -= m <= 2 ? 1 : 0;
	long era = (y >= 0 ? y : y - 399) / 400;
	long yoe = y - era * 400;
	long doy = static_cast<long>((153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d) - 1;
	long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
	return static_cast<long long>(era) * 146097 + doe - 719468;
}

long dayof(long long t)
{
	// t / 86400, rounded down, as t / 128 and then / 675, each in 32
	// bits: within some 4,000 years of 1970, as far as a clock goes.
	const long long most = 1LL << 37;
	t = t > most ? most : t < -most ? -most : t;
	long q = static_cast<long>(t >> 7);
	return q >= 0 ? q / 675 : -((-q + 674) / 675);
}

long yearof(long z)
{
	z += 719468;
	long era = (z >= 0 ? z : z - 146096) / 146097;
	long doe = z - era * 146097;
	long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
	long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
	long mp = (5 * doy + 2) / 153;
	return yoe + era * 400 + (mp >= 10 ? 1 : 0);
}
