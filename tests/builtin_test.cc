// What only the builtins have to show: they live inside the shell.
#include <gtest/gtest.h>

#include "run.h"

// A builtin never ends the shell, and reads no further than its five
// numbers: on a pipe the byte that ends the fifth is gone, on a file the
// offset is left just after it. Each call parses only its own input.
TEST(Builtin, InsideTheShell)
{
	struct { const char *script, *in, *want; } cases[] = {
		{"urldecode -x a; urldecode; shares; echo \" $?\"", "1 2", " 1\n"},
		{"printf '1 2 3 4 5 rest\\n' | { shares; echo; cat; }", "",
		 "6.67 13.33 20.00 26.67 33.33 15\nrest\n"},
		{"shares; echo; cat", "1 2 3 4 5 rest\n", "6.67 13.33 20.00 26.67 33.33 15\n rest\n"},
		{"shares; echo; shares; echo \" $?\"; shares; echo \" $?\"",
		 "3 1 0 0 4\n1-2-3-4-5 2 x", "37.50 12.50 0.00 0.00 50.00 8\n"
		 "-7.69 15.38 23.08 30.77 38.46 -13 0\n 1\n"},
	};
	for (const auto &c : cases) {
		outcome o = runbash(c.script, {}, c.in);
		EXPECT_EQ(o.out, c.want) << c.script;
		EXPECT_EQ(o.status, 0) << c.script;
	}
}

// A long shell variable passes no exec, and so meets no length limit.
TEST(Builtin, LongArgument)
{
	std::string want;
	for (int i = 0; i < 1 << 21; i++)	// 10 MiB in, 8 MiB out
		want += "a\\; ";
	outcome o = runbash("s=a%3B+; for i in {1..21}; do s=$s$s; done; urldecode -e \"$s\"");
	EXPECT_TRUE(o.out == want) << o.out.size() << " bytes";
	EXPECT_EQ(o.status, 0);
}

#ifndef SANITIZER_RUNTIME
// Nothing is kept between calls: 100,000 of them leave the shell's
// resident memory as it was, within 1 MiB.
TEST(Builtin, MemoryStaysFlat)
{
	outcome o = runbash(
		"s=$(printf '%%41%.0s' {1..100}); rss() { awk '/VmRSS/ { print $2 }' /proc/$$/status; }\n"
		"calls() { for ((i = 0; i < $1; i++)); do urldecode -b -e \"$s\"; shares <<<'1 2 3 4 5'; done >/dev/null; }\n"
		"calls 1000; a=$(rss); calls 100000; echo $(($(rss) - a))");
	ASSERT_EQ(o.status, 0) << o.err;
	EXPECT_LT(std::stol(o.out), 1024) << "KiB of growth";
}
#endif
