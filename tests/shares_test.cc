#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"

// Every rule holds for the program and for the builtin alike.
class Shares : public testing::TestWithParam<tool> {};
INSTANTIATE_TEST_SUITE_P(Tools, Shares, testing::ValuesIn(shares_tools));

static const char expected[] = "shares: expected five integers on standard input\n";

// Five integers in, five shares and the total out, with no newline.
TEST_P(Shares, Results)
{
	struct { const char *in, *want; } cases[] = {
		{"3 1 0 0 4", "37.50 12.50 0.00 0.00 50.00 8"},
		{"1 1 1 0 0", "33.33 33.33 33.33 0.00 0.00 3"},	// sums to 99.99
		{"2 1 0 0 0", "66.67 33.33 0.00 0.00 0.00 3"},
		{"1 2 3 4 5", "6.67 13.33 20.00 26.67 33.33 15"},
		{"100 0 0 0 0", "100.00 0.00 0.00 0.00 0.00 100"},
		// Exact halves, as the extended intermediate leaves them; double
		// arithmetic would print 14.37, 85.63, 30.63 and 69.37.
		{"23 137 0 0 0", "14.38 85.62 0.00 0.00 0.00 160"},
		{"49 111 0 0 0", "30.62 69.38 0.00 0.00 0.00 160"},
		{"51 87 22 0 0", "31.88 54.38 13.75 0.00 0.00 160"},
		{"93 0 0 0 227", "29.06 0.00 0.00 0.00 70.94 320"},
		// Negative values and totals.
		{"-1 2 0 0 0", "-100.00 200.00 0.00 0.00 0.00 1"},
		{"0 0 0 0 -5", "-0.00 -0.00 -0.00 -0.00 100.00 -5"},
		{"-1 -1 -2 0 0", "25.00 25.00 50.00 -0.00 -0.00 -4"},
		// The total wraps in 32 bits, and the shares come from it.
		{"2147483647 1 0 0 0", "-100.00 -0.00 -0.00 -0.00 -0.00 -2147483648"},
		{"-2147483648 -1 0 0 1", "100.00 0.00 -0.00 -0.00 -0.00 -2147483648"},
		{"2147483647 2147483647 0 0 3", "214748364700.00 214748364700.00 0.00 0.00 300.00 1"},
		{"-2147483648 0 0 0 0", "100.00 -0.00 -0.00 -0.00 -0.00 -2147483648"},
		// A zero total divides by zero, as printf shows it.
		{"0 0 0 0 0", "-nan -nan -nan -nan -nan 0"},
		{"1 0 0 0 -1", " inf -nan -nan -nan -inf 0"},
		{"2147483647 2147483647 2 0 0", " inf  inf  inf -nan -nan 0"},
	};
	for (const auto &c : cases) {
		outcome o = run(GetParam(), {}, c.in);
		EXPECT_EQ(o.out, c.want) << c.in;
		EXPECT_EQ(o.err, "") << c.in;
		EXPECT_EQ(o.status, 0) << c.in;
	}
}

// The numbers are read as "%d %d %d %d %d" reads them.
TEST_P(Shares, InputGrammar)
{
	const char *same = "6.67 13.33 20.00 26.67 33.33 15";
	const char *inputs[] = {
		"1 2 3 4 5",
		"1\n2\n3\n4\n5\n",
		"\t 1\r\n2\v3\f4   5",
		"+1 +2 +3 +4 +5",
		"01 002 0003 00004 5",
		"1 2 3 4 5 and the rest is never read",
		"1 2 3 4 5x",
		"1 2 3 4 5 6 7",
		"  \n1 2 3 4 5",
	};
	for (const char *in : inputs) {
		outcome o = run(GetParam(), {}, in);
		EXPECT_EQ(o.out, same) << in;
		EXPECT_EQ(o.status, 0) << in;
	}
	// Signs start numbers without white space before them.
	outcome o = run(GetParam(), {}, "1-2-3-4-5");
	EXPECT_EQ(o.out, "-7.69 15.38 23.08 30.77 38.46 -13");
	o = run(GetParam(), {}, "1+2+3+4+5");
	EXPECT_EQ(o.out, same);
}

// Arguments are ignored, and so is the locale: the point is always '.'.
TEST_P(Shares, ArgumentsAndLocale)
{
	outcome o = run(GetParam(), {"-x", "--help"}, "3 1 0 0 4",
			stdout_to::pipe, {"LC_ALL=de_DE.UTF-8", "LC_NUMERIC=de_DE.UTF-8"});
	EXPECT_EQ(o.out, "37.50 12.50 0.00 0.00 50.00 8");
	EXPECT_EQ(o.status, 0);
}

// Input that does not hold five 32-bit integers is an error: one line on
// stderr, nothing on stdout, status 1.
TEST_P(Shares, BadInput)
{
	struct { const char *in; std::string err; } cases[] = {
		{"", expected},
		{"1 2 3 4", expected},
		{"1 2 3 4\n", expected},
		{"1 2 x 4 5", expected},
		{"1 2 3 4 -", expected},
		{"1 2 3 4 - 5", expected},
		{"1 2 3 4 +x", expected},
		{"1 2 3 4 --5", expected},
		{"1,2,3,4,5", expected},
		{"0x1 2 3 4 5", expected},
		{"2147483648 0 0 0 0", "shares: number out of range: 2147483648\n"},
		{"-2147483649 0 0 0 0", "shares: number out of range: -2147483649\n"},
		{"+0002147483648 0 0 0 0", "shares: number out of range: +2147483648\n"},
		{"0 0 0 0 99999999999999999999", "shares: number out of range: 99999999999999999999\n"},
		{"0 0 0 0 4294967296", "shares: number out of range: 4294967296\n"},
		{"1 2 3 4 123456789012345678901234567890123456789",
		 "shares: number out of range: 12345678901234567890123456789012...\n"},
	};
	for (const auto &c : cases) {
		outcome o = run(GetParam(), {}, c.in);
		EXPECT_EQ(o.out, "") << c.in;
		EXPECT_EQ(o.err, c.err) << c.in;
		EXPECT_EQ(o.status, 1) << c.in;
	}
}

// Failed reads and writes are errors too.
TEST_P(Shares, IoErrors)
{
	outcome o;
	if (!GetParam().setvar) {	// shares -v writes nothing
		o = run(GetParam(), {}, "1 2 3 4 5", stdout_to::full);
		EXPECT_EQ(o.err, "shares: write error: No space left on device\n");
		EXPECT_EQ(o.status, 1);
		o = run(GetParam(), {}, "1 2 3 4 5", stdout_to::closed);
		EXPECT_EQ(o.err, "shares: write error: Bad file descriptor\n");
		EXPECT_EQ(o.status, 1);
	}
	o = run(GetParam(), {}, nullptr);
	EXPECT_EQ(o.out, "");
	EXPECT_EQ(o.err, "shares: read error: Bad file descriptor\n");
	EXPECT_EQ(o.status, 1);
}
